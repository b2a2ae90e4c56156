#include "support/com_initializer.h"

#include <objbase.h>

namespace QuickKit {

ComInitializer::ComInitializer(Model model)
    : m_result(model == Model::Apartment ? ::CoInitialize(nullptr)
                                         : ::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}

ComInitializer::~ComInitializer() {
  if (SUCCEEDED(m_result)) ::CoUninitialize();
}

}  // namespace QuickKit
