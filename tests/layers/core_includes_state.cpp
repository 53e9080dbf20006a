// Must not compile: core/ sits below state/.
#include "state/session_state.h"
