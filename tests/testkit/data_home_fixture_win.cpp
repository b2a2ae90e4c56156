#include "data_home_fixture.h"

namespace QuickKit {

TemporaryDataHome::TemporaryDataHome() = default;
TemporaryDataHome::~TemporaryDataHome() = default;

}  // namespace QuickKit
