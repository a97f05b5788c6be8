// The planted violation: low reaches up into high.
#include "high/high.h"
#include "low/low.h"  // allowed: a module uses itself
int Upward() { return High() + Low(); }
