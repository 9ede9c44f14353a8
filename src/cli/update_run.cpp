#include "cli/update_run.h"
