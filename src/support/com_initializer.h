// Scoped COM initialisation for the thread that constructs it (Windows).
#pragma once

#include <windows.h>

namespace QuickKit {

class ComInitializer {
 public:
  enum class Model { Apartment, Multithreaded };

  // CoInitialize(NULL) or CoInitializeEx(NULL, COINIT_MULTITHREADED).
  explicit ComInitializer(Model model = Model::Apartment);
  // Balances the initialisation when it succeeded (S_OK or S_FALSE).
  ~ComInitializer();

  ComInitializer(const ComInitializer&) = delete;
  ComInitializer& operator=(const ComInitializer&) = delete;

  HRESULT Result() const { return m_result; }

 private:
  HRESULT m_result;
};

}  // namespace QuickKit
