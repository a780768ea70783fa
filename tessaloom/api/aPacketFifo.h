#pragma once
// Thread-safe queues of packet copies, reached by numeric id through a process-wide registry,
// so a FIFO can be destroyed while other threads still wait on it: they wake and come back
// empty-handed. Id 0 never names a FIFO.
#include <cstddef>
#include <cstdint>

#include "tessaloom/common/aError.h"
#include "tessaloom/common/aPacket.h"

typedef uint64_t aPacketFifoId;
// Non-zero for a match. Called with the FIFO locked; it must not use the same FIFO.
typedef int (*aPacketFifoFilter)(const aPacket* packet, void* reference);

constexpr size_t aPACKETFIFO_CAPACITY = 1000;

aPacketFifoId aPacketFifo_Create();
aErr aPacketFifo_Destroy(aPacketFifoId* id);
size_t aPacketFifo_GetLength(aPacketFifoId id);
aErr aPacketFifo_Put(aPacketFifoId id, const aPacket* packet);
// The returned packets belong to the caller (aPacket_Destroy).
aPacket* aPacketFifo_Get(aPacketFifoId id);
aPacket* aPacketFifo_Await(aPacketFifoId id, uint64_t milliseconds);
aPacket* aPacketFifo_GetFirst(aPacketFifoId id, aPacketFifoFilter filter, void* reference);
aPacket* aPacketFifo_AwaitFirst(aPacketFifoId id, aPacketFifoFilter filter, void* reference, uint64_t milliseconds);
size_t aPacketFifo_DrainPackets(aPacketFifoId id, aPacketFifoFilter filter, void* reference);
