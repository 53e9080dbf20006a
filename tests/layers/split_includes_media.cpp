// Must not compile: split/ sits below media/.
#include "media/cue_reader.h"
