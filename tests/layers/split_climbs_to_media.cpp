// Must not build: the include climbs from split/ into media/ beside it.
#include "../media/cue_reader.h"
