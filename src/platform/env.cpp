#include "platform/env.h"

namespace quorbel {

namespace {
Env* g_test_env = nullptr;
}  // namespace

Env* CurrentEnv() { return g_test_env != nullptr ? g_test_env : Env::Default(); }

void SetEnvForTesting(Env* env) { g_test_env = env; }

}  // namespace quorbel
