#include "test_runner_p.h"

#include <gtest/gtest.h>

namespace zf::avm1 {
namespace {

} // namespace
} // namespace zf::avm1
