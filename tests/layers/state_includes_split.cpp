// Must not compile: state/ sits below split/.
#include "split/split_list.h"
