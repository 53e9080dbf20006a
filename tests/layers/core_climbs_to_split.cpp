// Must not build: the include climbs from core/ into split/ beside it.
#include "../split/split_list.h"
