#include "registry_fixture.h"

namespace QuickKit {

TemporaryRegistry::TemporaryRegistry() = default;
TemporaryRegistry::~TemporaryRegistry() = default;

}  // namespace QuickKit
