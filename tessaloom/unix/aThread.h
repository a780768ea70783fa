#pragma once

typedef void* (*aThreadEntry)(void* argument);

struct aThread;
typedef aThread* aThreadHandle;

aThreadHandle aThread_Create(aThreadEntry entry, void* argument);
// Joins the thread; answers the system's own error number of the join (0 on success).
int aThread_Destroy(aThreadHandle* handle);
void aThread_Yield();
