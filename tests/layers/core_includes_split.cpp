// Must not compile: core/ sits below split/.
#include "split/cue_sections.h"
