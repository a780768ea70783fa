#pragma once
// A transport for streams whose reads follow a script (bytes and result codes) and whose
// writes are recorded, to drive a stream layer through exact sequences.
#include <deque>
#include <string>
#include <utility>

#include "tessaloom/common/aStream.h"

struct ScriptedTransport {
  std::deque<std::pair<aErr, uint8_t>> reads;  // taken front first; empty reads as aErrNotReady
  std::string written;                         // every byte given to put or write
  std::string viaPut;                          // the bytes that came through put
  int writeCalls = 0;
  int deletes = 0;
  aErr deleteResult = aErrNone;
  aErr writeResult = aErrNone;

  void Feed(const std::string& bytes) {
    for (unsigned char c : bytes) reads.emplace_back(aErrNone, c);
  }
  void Fail(aErr code) { reads.emplace_back(code, 0); }

  static aErr Get(uint8_t* byte, void* ref) {
    auto* t = static_cast<ScriptedTransport*>(ref);
    if (t->reads.empty()) return aErrNotReady;
    const auto [code, value] = t->reads.front();
    t->reads.pop_front();
    if (code == aErrNone) *byte = value;
    return code;
  }
  static aErr Put(const uint8_t* byte, void* ref) {
    auto* t = static_cast<ScriptedTransport*>(ref);
    t->written.push_back(static_cast<char>(*byte));
    t->viaPut.push_back(static_cast<char>(*byte));
    return aErrNone;
  }
  static aErr Write(const uint8_t* data, size_t length, void* ref) {
    auto* t = static_cast<ScriptedTransport*>(ref);
    ++t->writeCalls;
    t->written.append(reinterpret_cast<const char*>(data), length);
    return t->writeResult;
  }
  static aErr Delete(void* ref) {
    auto* t = static_cast<ScriptedTransport*>(ref);
    ++t->deletes;
    return t->deleteResult;
  }

  aStreamRef MakeStream() { return aStream_Create(Get, Put, Write, Delete, this); }
};
