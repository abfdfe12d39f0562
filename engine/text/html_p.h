// Private parts of the HTML reader and writer.
#pragma once

#include "text/styled.h"
#include "text/text.h"
