// The program's way of calling into the page: a method of one of the page's
// global script objects (ClientAPI, AreaAPI, ProductAPI), with a string, an
// integer or no argument. Implemented by the browser host of the main
// window; called on the user-interface thread only. Each call returns
// whether the call into the page succeeded; a notification made before the
// page has defined its objects is lost.
#pragma once

#include <string>

namespace UiDeck {

// The page's script objects and the methods the program calls on them.
inline constexpr const char* kClientApi = "ClientAPI";
inline constexpr const char* kAreaApi = "AreaAPI";
inline constexpr const char* kProductApi = "ProductAPI";
inline constexpr const char* kGoToPage = "GoToPage";
inline constexpr const char* kChangedAttr = "ChangedAttr";
inline constexpr const char* kCollectionChanged = "CollectionChanged";

class IPushNotificator {
 public:
  virtual ~IPushNotificator() = default;

  virtual bool Notify(const std::string& api, const std::string& method,
                      const std::string& text) = 0;
  virtual bool Notify(const std::string& api, const std::string& method, int number) = 0;
  virtual bool Notify(const std::string& api, const std::string& method) = 0;
};

}  // namespace UiDeck
