// Must not compile: media/ sits below session/.
#include "session/split_session.h"
