#include "bridge/js_methods.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/json.h"

namespace bright_setup {
namespace {

// The bridge types of the C++ parameter and result types of IJsMethods. A
// bool result is not a value for the page: false means the call failed.
template <typename T>
constexpr JsType JsTypeOf() {
  using Plain = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<Plain, int>) {
    return JsType::kInt;
  } else if constexpr (std::is_same_v<Plain, std::string>) {
    return JsType::kString;
  } else {
    static_assert(std::is_same_v<Plain, void> || std::is_same_v<Plain, bool>,
                  "IJsMethods may only use int, std::string, void and bool");
    return JsType::kNone;
  }
}

template <typename T>
const auto& ArgumentAs(const JsValue& value) {
  if constexpr (JsTypeOf<T>() == JsType::kInt) {
    return std::get<std::int32_t>(value);
  } else {
    return std::get<std::string>(value);
  }
}

// Binds one member of IJsMethods: its parameter and result types come from
// the member's own signature, so the table cannot disagree with it.
template <auto Member>
struct Binding;

template <typename R, typename... A, R (IJsMethods::*Member)(A...)>
struct Binding<Member> {
  static constexpr std::size_t kArity = sizeof...(A);

  static JsOutcome Call(IJsMethods& target, std::span<const JsValue> args) {
    return CallWith(target, args, std::index_sequence_for<A...>{});
  }

  template <std::size_t... I>
  static JsOutcome CallWith(IJsMethods& target, std::span<const JsValue> args,
                            std::index_sequence<I...>) {
    JsOutcome outcome;
    if constexpr (std::is_void_v<R>) {
      (target.*Member)(ArgumentAs<A>(args[I])...);
      outcome.ok = true;
    } else if constexpr (std::is_same_v<R, bool>) {
      outcome.ok = (target.*Member)(ArgumentAs<A>(args[I])...);
      if (!outcome.ok) outcome.error = "the window could not be reached";
    } else if constexpr (std::is_same_v<R, int>) {
      outcome.result = static_cast<std::int32_t>((target.*Member)(ArgumentAs<A>(args[I])...));
      outcome.ok = true;
    } else {
      outcome.result = (target.*Member)(ArgumentAs<A>(args[I])...);
      outcome.ok = true;
    }
    return outcome;
  }

  template <typename... Names>
  static constexpr JsMethod Describe(std::string_view name, std::int32_t dispid,
                                     std::string_view resultName, Names... paramNames) {
    static_assert(sizeof...(Names) == kArity, "one name per parameter");
    static_assert(kArity <= kMaxJsParams);
    JsMethod method;
    method.name = name;
    method.dispid = dispid;
    method.paramCount = kArity;
    method.params = {JsParam{paramNames, JsTypeOf<A>()}...};
    method.result = JsParam{resultName, JsTypeOf<R>()};
    method.call = &Call;
    return method;
  }
};

#define JS_METHOD(member, dispid, ...) \
  Binding<&IJsMethods::member>::Describe(#member, dispid, __VA_ARGS__)

// DISPID, then the name of the out, retval parameter ("" for none), then
// the names of the in parameters.
constexpr JsMethod kJsMethods[] = {
    JS_METHOD(Close, 1000, ""),
    JS_METHOD(Minimize, 1002, ""),
    JS_METHOD(IsCppConnected, 1003, "result"),
    JS_METHOD(GetInstallPercents, 1004, "result"),
    JS_METHOD(GetLanguage, 1006, "language"),
    JS_METHOD(GetAreaCollection, 1008, "areaCollection"),
    JS_METHOD(GetProductCollection, 1009, "productCollection"),
    JS_METHOD(CheckAreaById, 1010, "", "areaName"),
    JS_METHOD(UncheckAreaById, 1011, "", "areaName"),
    JS_METHOD(CheckProductById, 1012, "", "productName"),
    JS_METHOD(UncheckProductById, 1013, "", "productName"),
    JS_METHOD(OpenUrl, 1014, "", "urlId"),
    JS_METHOD(GetAttr, 1015, "output", "attributeName"),
    JS_METHOD(StartInstall, 1016, ""),
    JS_METHOD(StopInstall, 1017, ""),
    JS_METHOD(WindowIsReady, 1018, ""),
    JS_METHOD(SendOtherDevice, 1019, "", "email"),
    JS_METHOD(Share, 1020, "", "socialId"),
    JS_METHOD(SendShareMessage, 1021, "", "email", "message"),
    JS_METHOD(ReportIEVersion, 1022, "", "IEversion"),
    JS_METHOD(UserClick, 1023, "", "clickId"),
    JS_METHOD(RetryInstall, 1024, ""),
};

#undef JS_METHOD

bool Holds(const JsValue& value, JsType type) {
  switch (type) {
    case JsType::kInt:
      return std::holds_alternative<std::int32_t>(value);
    case JsType::kString:
      return std::holds_alternative<std::string>(value);
    case JsType::kNone:
      break;
  }
  return false;
}

const char* TypeText(JsType type) { return type == JsType::kInt ? "an integer" : "a string"; }

// A JSON argument as a bridge value; anything the bridge does not carry
// (a fraction, a number out of range, true, null, an object) becomes
// monostate, which matches no parameter.
JsValue ArgumentFromJson(const QuickKit::JsonNode& node) {
  if (node.Type() == QuickKit::JsonString) return node.ValueText();
  if (node.Type() == QuickKit::JsonNumber) {
    const double value = node.NumericValue();
    if (std::trunc(value) == value && value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())
      return static_cast<std::int32_t>(value);
  }
  return std::monostate{};
}

std::string ResultJson(const JsValue& result) {
  if (const auto* number = std::get_if<std::int32_t>(&result)) return std::to_string(*number);
  if (const auto* text = std::get_if<std::string>(&result)) {
    std::string json = "\"";
    QuickKit::AppendJsonEscaped(json, *text);
    json += '"';
    return json;
  }
  return {};
}

}  // namespace

std::span<const JsMethod> JsMethodTable() { return kJsMethods; }

const JsMethod* FindJsMethod(std::string_view name) {
  for (const JsMethod& method : kJsMethods)
    if (method.name == name) return &method;
  return nullptr;
}

const JsMethod* FindJsMethodByDispid(std::int32_t dispid) {
  for (const JsMethod& method : kJsMethods)
    if (method.dispid == dispid) return &method;
  return nullptr;
}

JsOutcome InvokeJsMethod(IJsMethods& target, const JsMethod& method,
                         std::span<const JsValue> args) {
  JsOutcome outcome;
  if (args.size() != method.paramCount) {
    outcome.error = "expects " + std::to_string(method.paramCount) + " argument" +
                    (method.paramCount == 1 ? "" : "s") + ", got " + std::to_string(args.size());
    return outcome;
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const JsParam& param = method.params[i];
    if (!Holds(args[i], param.type)) {
      outcome.error = "argument " + std::to_string(i + 1) + " (" + std::string(param.name) +
                      ") must be " + TypeText(param.type);
      return outcome;
    }
  }
  // Nothing may unwind into the bridge's event loop: a failure inside the
  // method is the page's error.
  try {
    return method.call(target, args);
  } catch (const std::exception& e) {
    outcome.error = std::string("failed: ") + e.what();
  } catch (...) {
    outcome.error = "failed";
  }
  return outcome;
}

JsCallReply DispatchJsCall(IJsMethods& target, std::string_view name, std::string_view argsJson) {
  const JsMethod* method = FindJsMethod(name);
  if (method == nullptr) return {false, "unknown method"};
  QuickKit::JsonNode root;
  if (!QuickKit::JsonNode::Parse(argsJson, &root) || root.Type() != QuickKit::JsonArray)
    return {false, "the arguments are not a JSON array"};
  std::vector<JsValue> args;
  args.reserve(root.ChildCount());
  for (std::size_t i = 0; i < root.ChildCount(); ++i)
    args.push_back(ArgumentFromJson(root.Child(i)));
  JsOutcome outcome = InvokeJsMethod(target, *method, args);
  if (!outcome.ok) return {false, std::move(outcome.error)};
  return {true, ResultJson(outcome.result)};
}

}  // namespace bright_setup
