// JsHandler's IDispatch called as the page's script engine calls it, over
// the type library embedded in this executable (TYPELIB 1).
#include "bridge/js_dispatch_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_js_methods.h"
#include "support/com_holders_win.h"
#include "support/text.h"

namespace bright_setup {
namespace {

using QuickKit::Bstr;
using QuickKit::ComPtr;
using QuickKit::VariantHolder;

struct DispatchFixture : testing::Test {
  FakeJsMethods fake;
  JsHandlerDispatch* dispatch = JsHandlerDispatch::Create(&fake);
  ~DispatchFixture() override { dispatch->Release(); }

  HRESULT IdOf(const std::string& name, DISPID* id) {
    std::wstring wide = QuickKit::Utf8ToWide(name);
    LPOLESTR names[] = {wide.data()};
    return dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  }

  // A call as a script makes it: arguments last first, BSTRs for text.
  HRESULT Call(DISPID id, const std::vector<std::string>& args, VARIANT* result,
               UINT* argumentError = nullptr) {
    std::vector<VARIANT> list(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
      VARIANT& slot = list[args.size() - 1 - i];
      ::VariantInit(&slot);
      V_VT(&slot) = VT_BSTR;
      V_BSTR(&slot) = Bstr::FromUtf8(args[i]).Detach();
    }
    DISPPARAMS params{list.data(), nullptr, static_cast<UINT>(list.size()), 0};
    const HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                        result, nullptr, argumentError);
    for (VARIANT& slot : list) ::VariantClear(&slot);
    return hr;
  }
};

std::string TextOf(const VARIANT& value) {
  std::string text;
  EXPECT_EQ(V_VT(&value), VT_BSTR);
  if (V_VT(&value) == VT_BSTR) {
    EXPECT_TRUE(QuickKit::BstrToUtf8(V_BSTR(&value), &text));
  }
  return text;
}

JsType TypeOfDesc(const TYPEDESC& desc) {
  if (desc.vt == VT_BSTR) return JsType::kString;
  if (desc.vt == VT_I4) return JsType::kInt;
  return JsType::kNone;
}

// The library is compiled from js_handler.idl, the calls are made from the
// method table: both must name the same methods with the same DISPIDs,
// parameter names and types, in both directions.
TEST(JsDispatchTypeLibrary, DescribesExactlyTheMethodTable) {
  ComPtr<ITypeInfo> dispatchInfo;
  ASSERT_EQ(LoadJsDispatchTypeInfo(dispatchInfo.Out()), S_OK);
  // The interface's own functions, without those inherited from IDispatch.
  HREFTYPE vtableRef = 0;
  ASSERT_EQ(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableRef), S_OK);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(dispatchInfo->GetRefTypeInfo(vtableRef, info.Out()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  const UINT functions = attributes->cFuncs;
  EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IJsDispatch));
  info->ReleaseTypeAttr(attributes);
  EXPECT_EQ(functions, JsMethodTable().size());

  for (UINT f = 0; f < functions; ++f) {
    FUNCDESC* desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(f, &desc), S_OK);
    BSTR names[kMaxJsParams + 2] = {};
    UINT nameCount = 0;
    ASSERT_EQ(info->GetNames(desc->memid, names, kMaxJsParams + 2, &nameCount), S_OK);
    std::vector<Bstr> held(nameCount);
    std::vector<std::string> text(nameCount);
    for (UINT i = 0; i < nameCount; ++i) {
      *held[i].Out() = names[i];
      ASSERT_TRUE(held[i].ToUtf8(&text[i]));
    }
    const JsMethod* method = FindJsMethod(text[0]);
    ASSERT_NE(method, nullptr) << text[0] << " is in the library but not in the table";
    EXPECT_EQ(desc->memid, method->dispid) << text[0];
    EXPECT_EQ(desc->elemdescFunc.tdesc.vt, VT_HRESULT) << text[0];
    const bool hasResult = method->result.type != JsType::kNone;
    ASSERT_EQ(static_cast<std::size_t>(desc->cParams), method->paramCount + (hasResult ? 1 : 0))
        << text[0];
    for (std::size_t p = 0; p < method->paramCount; ++p) {
      const ELEMDESC& param = desc->lprgelemdescParam[p];
      EXPECT_EQ(text[p + 1], method->params[p].name) << text[0];
      EXPECT_EQ(TypeOfDesc(param.tdesc), method->params[p].type) << text[0];
      EXPECT_EQ(param.paramdesc.wParamFlags & PARAMFLAG_FIN, PARAMFLAG_FIN) << text[0];
    }
    if (hasResult) {
      const ELEMDESC& out = desc->lprgelemdescParam[method->paramCount];
      EXPECT_EQ(out.paramdesc.wParamFlags & PARAMFLAG_FRETVAL, PARAMFLAG_FRETVAL) << text[0];
      ASSERT_EQ(out.tdesc.vt, VT_PTR) << text[0];
      EXPECT_EQ(TypeOfDesc(*out.tdesc.lptdesc), method->result.type) << text[0];
      if (nameCount > method->paramCount + 1) {
        EXPECT_EQ(text[method->paramCount + 1], method->result.name) << text[0];
      }
    }
    info->ReleaseFuncDesc(desc);
  }
}

TEST_F(DispatchFixture, TypeInformationComesFromTheEmbeddedLibrary) {
  UINT count = 0;
  ASSERT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Out()), S_OK);
  ComPtr<ITypeLib> library;
  UINT index = 0;
  ASSERT_EQ(info->GetContainingTypeLib(library.Out(), &index), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_JsHandlerhLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  library->ReleaseTLibAttr(attributes);
  ComPtr<ITypeInfo> coclass;
  EXPECT_EQ(library->GetTypeInfoOfGuid(CLSID_JsHandler, coclass.Out()), S_OK);

  ComPtr<ITypeInfo> other;
  EXPECT_EQ(dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, other.Out()), DISP_E_BADINDEX);
  EXPECT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);
}

TEST_F(DispatchFixture, FindsEveryNameOfTheTableAndNoneOfTheProbedOnes) {
  for (const JsMethod& method : JsMethodTable()) {
    DISPID id = 0;
    EXPECT_EQ(IdOf(std::string(method.name), &id), S_OK) << method.name;
    EXPECT_EQ(id, method.dispid) << method.name;
  }
  for (const char* probed :
       {"SetLanguage", "GetLanguageCollection", "GetIsProductSelected", "GetIsAreaSelected"}) {
    DISPID id = 0;
    EXPECT_EQ(IdOf(probed, &id), DISP_E_UNKNOWNNAME) << probed;
  }
}

// window.external.GetAttr read as a property is the object itself, which
// the page then calls.
TEST_F(DispatchFixture, PropertyGetOfAMemberAnswersTheObjectItself) {
  DISPID id = 0;
  ASSERT_EQ(IdOf("GetAttr", &id), S_OK);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VariantHolder member;
  ASSERT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             member.Out(), nullptr, nullptr),
            S_OK);
  ASSERT_EQ(V_VT(&member.Get()), VT_DISPATCH);
  EXPECT_EQ(V_DISPATCH(&member.Get()), static_cast<IDispatch*>(dispatch));
  EXPECT_TRUE(fake.calls.empty());

  fake.attributes["eula"] = "<p>Licence</p>";
  VariantHolder text;
  ASSERT_EQ(Call(id, {"eula"}, text.Out()), S_OK);
  EXPECT_EQ(TextOf(text.Get()), "<p>Licence</p>");
}

// Every method of the table, called with text arguments: the call reaches
// the right method with its arguments, and results come back as BSTR or
// a 32-bit integer.
TEST_F(DispatchFixture, CallsEveryMethodWithItsArgumentsAndResult) {
  fake.installPercents = 42;
  for (const JsMethod& method : JsMethodTable()) {
    fake.calls.clear();
    std::vector<std::string> args;
    std::string expected(method.name);
    for (std::size_t i = 0; i < method.paramCount; ++i) args.push_back("a" + std::to_string(i + 1));
    if (!args.empty())
      expected += "(" + (args.size() == 2 ? args[0] + "," + args[1] : args[0]) + ")";
    VariantHolder result;
    ASSERT_EQ(Call(method.dispid, args, result.Out()), S_OK) << method.name;
    ASSERT_EQ(fake.calls, std::vector<std::string>{expected});
    switch (method.result.type) {
      case JsType::kInt:
        ASSERT_EQ(V_VT(&result.Get()), VT_I4) << method.name;
        EXPECT_EQ(V_I4(&result.Get()), method.name == "IsCppConnected" ? 1 : 42);
        break;
      case JsType::kString:
        EXPECT_FALSE(TextOf(result.Get()).empty()) << method.name;
        break;
      case JsType::kNone:
        EXPECT_EQ(V_VT(&result.Get()), VT_EMPTY) << method.name;
        break;
    }
  }
}

TEST_F(DispatchFixture, TextCrossesAsUtf16BothWays) {
  const std::string text =
      "Pr\xC3\xBC"
      "fung \xE2\x82\xAC \xF0\x9F\x9B\xA1";  // ü, €, a shield
  VariantHolder result;
  ASSERT_EQ(Call(1015, {text}, result.Out()), S_OK);
  EXPECT_EQ(fake.calls, std::vector<std::string>{"GetAttr(" + text + ")"});
  EXPECT_EQ(TextOf(result.Get()), text);
}

TEST_F(DispatchFixture, RefusesCallsItCannotCarry) {
  VariantHolder result;
  EXPECT_EQ(Call(1010, {}, result.Out()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(1016, {"extra"}, result.Out()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(1001, {}, result.Out()), DISP_E_MEMBERNOTFOUND);

  // An object where text is expected, second argument of two.
  VARIANT list[2];
  ::VariantInit(&list[0]);
  V_VT(&list[0]) = VT_DISPATCH;
  V_DISPATCH(&list[0]) = nullptr;
  ::VariantInit(&list[1]);
  V_VT(&list[1]) = VT_BSTR;
  V_BSTR(&list[1]) = Bstr::FromUtf8("a@b.c").Detach();
  DISPPARAMS params{list, nullptr, 2, 0};
  UINT argumentError = 99;
  EXPECT_EQ(dispatch->Invoke(1021, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                             result.Out(), nullptr, &argumentError),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argumentError, 0u);
  ::VariantClear(&list[1]);
  EXPECT_TRUE(fake.calls.empty());

  // The window could not be told: the page sees the failure.
  fake.windowReachable = false;
  EXPECT_EQ(Call(1000, {}, result.Out()), E_FAIL);

  // The program's side has gone; the page still holds the object.
  dispatch->Detach();
  fake.calls.clear();
  EXPECT_EQ(Call(1003, {}, result.Out()), E_UNEXPECTED);
  EXPECT_TRUE(fake.calls.empty());
}

}  // namespace
}  // namespace bright_setup
