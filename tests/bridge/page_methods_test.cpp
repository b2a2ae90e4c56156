// The page resolves each name of its METHOD_NAMES list to the program's
// method when window.external offers it, and silently to its emulator
// otherwise. This keeps that list and the program's table the same, so a
// method the program lacks cannot go unnoticed.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bridge/js_methods.h"

namespace bright_setup {
namespace {

std::vector<std::string> PageMethodNames() {
  std::ifstream file(NORVANE_PAGE_SCRIPT);
  std::stringstream text;
  text << file.rdbuf();
  const std::string script = text.str();
  std::smatch list;
  if (!std::regex_search(script, list, std::regex(R"(var\s+METHOD_NAMES\s*=\s*\[([^\]]*)\])")))
    return {};
  std::vector<std::string> names;
  const std::string body = list[1];
  const std::regex quoted(R"re('([^']*)'|"([^"]*)")re");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), quoted);
       it != std::sregex_iterator(); ++it)
    names.push_back((*it)[1].matched ? (*it)[1].str() : (*it)[2].str());
  return names;
}

TEST(PageMethods, ThePageListsExactlyTheProgramsMethodsAndItsFourProbes) {
  // Methods the page asks for but the program has never offered: the page
  // answers them itself.
  const std::set<std::string> probes = {"SetLanguage", "GetLanguageCollection",
                                        "GetIsProductSelected", "GetIsAreaSelected"};
  const std::vector<std::string> listed = PageMethodNames();
  ASSERT_FALSE(listed.empty()) << "no METHOD_NAMES list in " << NORVANE_PAGE_SCRIPT;

  std::set<std::string> page;
  for (const std::string& name : listed) EXPECT_TRUE(page.insert(name).second) << name << " twice";
  for (const std::string& probe : probes) {
    EXPECT_EQ(page.count(probe), 1u) << probe;
    EXPECT_EQ(FindJsMethod(probe), nullptr) << probe;
    page.erase(probe);
  }
  std::set<std::string> program;
  for (const JsMethod& method : JsMethodTable()) program.insert(std::string(method.name));
  EXPECT_EQ(page, program);
}

}  // namespace
}  // namespace bright_setup
