// The page's window.external: every method the program offers the page,
// with its DISPID, parameters and result, declared once here. The Linux
// bridge dispatches page calls through this table; the Windows port's
// IDispatch and type library take their names and DISPIDs from it too,
// never from a second list. A test holds the page's own list of program
// methods to it, so that no method can be missing without notice.
//
// Everything here runs on the user-interface thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace bright_setup {

// The program's side of the page's methods: one virtual per method of the
// table, implemented by JsHandler. Text is UTF-8. Close and Minimize report
// whether the window could be told (the page then sees an error); every
// other method succeeds whatever happens inside it.
class IJsMethods {
 public:
  virtual ~IJsMethods() = default;

  virtual bool Close() = 0;
  virtual bool Minimize() = 0;
  virtual int IsCppConnected() = 0;
  virtual int GetInstallPercents() = 0;
  virtual std::string GetLanguage() = 0;
  virtual std::string GetAreaCollection() = 0;
  virtual std::string GetProductCollection() = 0;
  virtual void CheckAreaById(const std::string& areaName) = 0;
  virtual void UncheckAreaById(const std::string& areaName) = 0;
  virtual void CheckProductById(const std::string& productName) = 0;
  virtual void UncheckProductById(const std::string& productName) = 0;
  virtual void OpenUrl(const std::string& urlId) = 0;
  virtual std::string GetAttr(const std::string& attributeName) = 0;
  virtual void StartInstall() = 0;
  virtual void StopInstall() = 0;
  virtual void WindowIsReady() = 0;
  virtual void SendOtherDevice(const std::string& email) = 0;
  virtual void Share(const std::string& socialId) = 0;
  virtual void SendShareMessage(const std::string& email, const std::string& message) = 0;
  virtual void ReportIEVersion(const std::string& ieVersion) = 0;
  virtual void UserClick(const std::string& clickId) = 0;
  // Runs again only the products that failed in the last run.
  virtual void RetryInstall() = 0;
};

// Types that cross the bridge: a 32-bit signed integer or a string (a BSTR
// on Windows). kNone only as a result: the method returns nothing.
enum class JsType : std::uint8_t { kNone, kInt, kString };

// One argument or result. monostate: no result.
using JsValue = std::variant<std::monostate, std::int32_t, std::string>;

// What a call gave: its result, or why it failed (an unknown method, wrong
// arguments, or a failure inside the method).
struct JsOutcome {
  bool ok = false;
  JsValue result;
  std::string error;
};

struct JsParam {
  std::string_view name;
  JsType type = JsType::kNone;
};

constexpr std::size_t kMaxJsParams = 2;

struct JsMethod {
  std::string_view name;
  std::int32_t dispid = 0;
  std::size_t paramCount = 0;
  std::array<JsParam, kMaxJsParams> params{};  // the first paramCount are used
  JsParam result;                              // the out, retval parameter; kNone: none
  // Calls the member on the target with arguments already checked.
  JsOutcome (*call)(IJsMethods& target, std::span<const JsValue> args) = nullptr;
};

// The whole table, in DISPID order.
std::span<const JsMethod> JsMethodTable();

// By exact, case-sensitive name; nullptr when the program has no such method.
const JsMethod* FindJsMethod(std::string_view name);
const JsMethod* FindJsMethodByDispid(std::int32_t dispid);

// Checks the arguments against the method's parameters (count and types)
// and calls it. An exception thrown by the method becomes an error.
JsOutcome InvokeJsMethod(IJsMethods& target, const JsMethod& method, std::span<const JsValue> args);

// A page call as the Linux bridge carries it: the method's name and its
// arguments as a JSON array (strings, integral numbers). text is the
// result as JSON (a number or a string; empty when the method returns
// nothing) when ok, else the error.
struct JsCallReply {
  bool ok = false;
  std::string text;
};
JsCallReply DispatchJsCall(IJsMethods& target, std::string_view name, std::string_view argsJson);

}  // namespace bright_setup
