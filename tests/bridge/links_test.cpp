#include "bridge/links.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/catalogue_text.h"

namespace bright_setup {
namespace {

using Strings = std::vector<std::string>;

class RecordingShell : public IShellOpener {
 public:
  bool OpenWithShell(const std::string& text) override {
    opened.push_back(text);
    return true;
  }
  Strings opened;
};

class LinksTest : public ::testing::Test {
 protected:
  void Load(const std::string& text) { ASSERT_TRUE(LoadCatalogueText(text, m_catalogue)); }

  VerInfo m_catalogue;
  RecordingShell m_shell;
  CatalogueLinks m_links{m_catalogue, "en", m_shell};
};

TEST(LinkText, KeysEscapesAndNetworks) {
  EXPECT_EQ(LinkKey("my-page"), "LINK_my_page");
  EXPECT_EQ(LinkKey("google-plus-x"), "LINK_google_plus_x");
  EXPECT_EQ(LinkKey("eula"), "LINK_eula");
  struct Case {
    const char* value;
    const char* expected;
  };
  const Case blanks[] = {
      {"Try%20it", "Try it"}, {"a%20%20b", "a  b"}, {"%2%200", "%2 0"},
      {"100%25", "100%25"},   {"%20", " "},         {"", ""},
  };
  for (const Case& c : blanks) EXPECT_EQ(ReplaceEncodedBlanks(c.value), c.expected) << c.value;
  EXPECT_EQ(ShareTargetName("facebook"), "facebook_url");
  EXPECT_EQ(ShareTargetName("linkedin"), "linkedin_url");
  EXPECT_EQ(ShareTargetName("twitter"), "twitter_url");
  EXPECT_EQ(ShareTargetName("Facebook"), std::nullopt);
  EXPECT_EQ(ShareTargetName(""), std::nullopt);
}

TEST(LinkText, EmailFill) {
  struct Case {
    const char* templ;
    std::string email;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"mailto:<email>?subject=Hi", "ann@example.com", "mailto:ann@example.com?subject=Hi"},
      {"mailto:<email>?subject=Hi", "ann+x@ex.com", "mailto:ann%2Bx@ex.com?subject=Hi"},
      // Characters that would end the address or add parameters stay inside it.
      {"mailto:<email>?subject=Hi", "a@b.c?cc=evil@x.y&body=z",
       "mailto:a@b.c%3Fcc%3Devil@x.y%26body%3Dz?subject=Hi"},
      {"mailto:<email>", "a@b.c,c@d.e#x", "mailto:a@b.c%2Cc@d.e%23x"},
      {"mailto:<email>", "a b%20@c", "mailto:a%20b%2520@c"},
      {"mailto:<email>", "j\xC3\xBCrg@ex.com", "mailto:j%C3%BCrg@ex.com"},
      {"mailto:<email>", "a@b.c\r\nBcc: x@y.z", std::nullopt},
      {"mailto:<email>", std::string("a@b\0c", 5), std::nullopt},
      {"mailto:<email>",
       "a@b\xC2\x85"
       "c",
       std::nullopt},  // U+0085, a C1 control
      {"mailto:<email>;<email>", "a@b.c", "mailto:a@b.c;<email>"},
      {"mailto:team@example.com", "a@b.c", "mailto:team@example.com"},
      {"https://mail.example/send?to=<email>", "a@b.c&x=1",
       "https://mail.example/send?to=a@b.c%26x%3D1"},
      {"", "a@b.c", ""},
      {"mailto:<email>", "", "mailto:"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FillEmailTemplate(c.templ, c.email), c.expected) << c.templ << " " << c.email;
  }
}

TEST_F(LinksTest, OpenLinkUsesTheValueUnchanged) {
  Load(
      "LINK_my_page * https://norvane.example/my%20page\n"
      "LINK_help-de * https://norvane.example/hilfe\n"
      "LINK_help * https://norvane.example/help\n"
      "LINK_help-en * https://norvane.example/help-en\n");
  EXPECT_TRUE(m_links.OpenLink("my-page"));
  EXPECT_TRUE(m_links.OpenLink("help"));
  EXPECT_FALSE(m_links.OpenLink("missing"));
  EXPECT_FALSE(m_links.OpenLink("LINK_help"));
  EXPECT_EQ(m_shell.opened,
            (Strings{"https://norvane.example/my%20page", "https://norvane.example/help"}));
}

TEST_F(LinksTest, SharingValuesAndTheDefaultLandingAddress) {
  Load(
      "SHARING_facebook_url * https://fb.example/share?t=Try%20it%20%20now\n"
      "SHARING_linkedin_url-de * https://li.example/de\n");
  EXPECT_EQ(m_links.GetSharingValue("facebook_url"), "https://fb.example/share?t=Try it  now");
  EXPECT_EQ(m_links.GetSharingValue("link"), DefaultLandingAddress());
  EXPECT_FALSE(DefaultLandingAddress().empty());
  EXPECT_EQ(m_links.GetSharingValue("twitter_url"), "");

  EXPECT_TRUE(m_links.OpenShareTarget("facebook"));
  EXPECT_FALSE(m_links.OpenShareTarget("Facebook"));
  EXPECT_FALSE(m_links.OpenShareTarget("twitter"));
  EXPECT_FALSE(m_links.OpenShareTarget("linkedin"));  // only a German entry
  EXPECT_EQ(m_shell.opened, (Strings{"https://fb.example/share?t=Try it  now"}));
}

TEST_F(LinksTest, SharingLinkFromTheCatalogueWinsOverTheDefault) {
  Load("SHARING_link * https://norvane.example/get%20it\n");
  EXPECT_EQ(m_links.GetSharingValue("link"), "https://norvane.example/get it");
}

TEST_F(LinksTest, EmailCommands) {
  Load(
      "SHARING_protect_another_device * mailto:<email>?subject=Protect%20it&body=x\n"
      "SHARING_email_command * mailto:<email>?subject=Look\n");
  EXPECT_TRUE(m_links.SendOtherDevice("ann@example.com"));
  EXPECT_TRUE(m_links.SendShareMessage("bob@example.com", "the message"));
  EXPECT_FALSE(m_links.SendShareMessage("bob@example.com\nBcc: all", ""));
  EXPECT_FALSE(m_links.SendEmailCommand("missing", "a@b.c"));
  EXPECT_EQ(m_shell.opened, (Strings{"mailto:ann@example.com?subject=Protect it&body=x",
                                     "mailto:bob@example.com?subject=Look"}));
}

}  // namespace
}  // namespace bright_setup
