#include "test_runner_p.h"
