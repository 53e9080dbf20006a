// Must not build: the include climbs from media/ into session/ beside it.
#include "../session/split_session.h"
