// Platform operations not built yet: each fails honestly (null, 0 or FALSE) until its real
// implementation replaces it here. Remove a function from this file when you implement it.
#include "platform/win32.h"
