#pragma once
#include "low/low.h"  // allowed: high uses low
inline int High() { return Low() + 1; }
