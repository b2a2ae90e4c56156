// A stand-in for JsHandler behind the page's methods: records every call
// with its arguments and answers from fields the test sets. Used by the
// dispatch tests and by the window tests, where it sits behind the real
// bridge.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bridge/js_methods.h"

namespace bright_setup {

class FakeJsMethods : public IJsMethods {
 public:
  // "Name" or "Name(arg)" or "Name(arg1,arg2)", in call order.
  std::vector<std::string> calls;
  // Runs first in every call, with the method's name (a test may block or throw here).
  std::function<void(const std::string&)> onCall;
  // Runs when the page calls WindowIsReady.
  std::function<void()> onWindowIsReady;
  bool windowReachable = true;
  int installPercents = 0;
  // GetAttr's answers; a name without one is echoed back.
  std::map<std::string, std::string> attributes;

  bool Close() override { return Record("Close") && windowReachable; }
  bool Minimize() override { return Record("Minimize") && windowReachable; }
  int IsCppConnected() override { return Record("IsCppConnected") ? 1 : 0; }
  int GetInstallPercents() override {
    Record("GetInstallPercents");
    return installPercents;
  }
  std::string GetLanguage() override {
    Record("GetLanguage");
    return "en";
  }
  std::string GetAreaCollection() override {
    Record("GetAreaCollection");
    return "[]";
  }
  std::string GetProductCollection() override {
    Record("GetProductCollection");
    return "[]";
  }
  void CheckAreaById(const std::string& a) override { Record("CheckAreaById", a); }
  void UncheckAreaById(const std::string& a) override { Record("UncheckAreaById", a); }
  void CheckProductById(const std::string& p) override { Record("CheckProductById", p); }
  void UncheckProductById(const std::string& p) override { Record("UncheckProductById", p); }
  void OpenUrl(const std::string& id) override { Record("OpenUrl", id); }
  std::string GetAttr(const std::string& name) override {
    Record("GetAttr", name);
    const auto found = attributes.find(name);
    return found == attributes.end() ? name : found->second;
  }
  void StartInstall() override { Record("StartInstall"); }
  void StopInstall() override { Record("StopInstall"); }
  void WindowIsReady() override {
    Record("WindowIsReady");
    if (onWindowIsReady) onWindowIsReady();
  }
  void SendOtherDevice(const std::string& email) override { Record("SendOtherDevice", email); }
  void Share(const std::string& id) override { Record("Share", id); }
  void SendShareMessage(const std::string& email, const std::string& message) override {
    Record("SendShareMessage", email + "," + message);
  }
  void ReportIEVersion(const std::string& v) override { Record("ReportIEVersion", v); }
  void UserClick(const std::string& id) override { Record("UserClick", id); }
  void RetryInstall() override { Record("RetryInstall"); }

 private:
  bool Record(const std::string& name) {
    if (onCall) onCall(name);
    calls.push_back(name);
    return true;
  }
  bool Record(const std::string& name, const std::string& args) {
    if (onCall) onCall(name);
    calls.push_back(name + "(" + args + ")");
    return true;
  }
};

}  // namespace bright_setup
