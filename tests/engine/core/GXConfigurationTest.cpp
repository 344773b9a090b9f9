#include "engine/core/GXConfiguration.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "engine/core/GXException.h"

using namespace gx;

namespace {

void LoadText(TGXConfiguration& c, const std::string& text) {
  TGXMemoryStream s(std::vector<uint8_t>(text.begin(), text.end()));
  c.LoadFromStream(s);
}

// Switches the process to a German number format for the lifetime of the object. The setup
// script generates de_DE.UTF-8; without it the test fails instead of passing vacuously.
class GermanLocale {
 public:
  GermanLocale() {
    FOld = std::setlocale(LC_ALL, nullptr);
    FActive = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  ~GermanLocale() { std::setlocale(LC_ALL, FOld.c_str()); }
  bool Active() const { return FActive; }

 private:
  std::string FOld;
  bool FActive;
};

}  // namespace

TEST(GXConfiguration, SavedFormIsIndentedUtf8WithCrLfAndNoDeclaration) {
  TGXConfiguration c;
  IGXConfigNode app = c.GetNode(nullptr, "Application");
  IGXConfigNode general = c.GetNode(app, "GeneralSettings");
  general->WriteString("RecentProject0", "/home/anna/Anlagen/Bahnhof Süd.vmp");
  general->WriteBoolean("Animations", true);
  c.GetNode(app, "DBSettings");
  EXPECT_EQ(c.SaveToString(),
            "<Application>\r\n"
            "  <GeneralSettings>\r\n"
            "    <RecentProject0>/home/anna/Anlagen/Bahnhof Süd.vmp</RecentProject0>\r\n"
            "    <Animations>1</Animations>\r\n"
            "  </GeneralSettings>\r\n"
            "  <DBSettings />\r\n"
            "</Application>\r\n");
}

TEST(GXConfiguration, ReadsGiveDefaultsWithoutChangingTheDocument) {
  TGXConfiguration c;
  IGXConfigNode node = c.GetNode(nullptr, "Application");
  EXPECT_EQ(node->ReadInteger("Volume", 100), 100);
  EXPECT_TRUE(node->ReadBoolean("Animations", true));
  EXPECT_EQ(node->ReadString("RecentProject0", "x"), "x");
  EXPECT_FALSE(node->ValueExists("Volume"));
  // Only the node asked for is added.
  EXPECT_EQ(c.SaveToString(), "<Application />\r\n");
}

TEST(GXConfiguration, TypedReadsOfStoredTexts) {
  TGXConfiguration c;
  LoadText(c,
           "\xEF\xBB\xBF<Application>\n"
           "  <Volume>abc</Volume><Animations>2</Animations><Sound>true</Sound>\n"
           "  <Empty/><Big>2147483648</Big><Neg>-17</Neg><F>0,5</F><G>1.5E-5</G>\n"
           "  <Nested><Child>3</Child></Nested>\n"
           "  <Key>first</Key><Key>second</Key>\n"
           "</Application>");
  IGXConfigNode n = c.GetNode(nullptr, "Application");
  EXPECT_FALSE(n->IsInteger("Volume"));
  EXPECT_EQ(n->ReadInteger("Volume", 100), 100);
  EXPECT_TRUE(n->ReadBoolean("Animations", false));
  EXPECT_FALSE(n->ReadBoolean("Sound", false));
  EXPECT_FALSE(n->ValueExists("Empty"));
  EXPECT_EQ(n->ReadString("Empty", "d"), "d");
  EXPECT_FALSE(n->IsInteger("Big"));
  EXPECT_EQ(n->ReadInteger("Neg", 0), -17);
  EXPECT_FALSE(n->IsFloat("F"));
  EXPECT_EQ(n->ReadFloat("F", 7.0), 7.0);
  EXPECT_DOUBLE_EQ(n->ReadFloat("G", 0), 1.5e-5);
  // A key whose first child is an element reads as empty text.
  EXPECT_EQ(n->ReadInteger("Nested", 9), 9);
  EXPECT_EQ(n->ReadString("Key", ""), "first");

  n->WriteString("Key", "changed");
  n->WriteString("Empty", "filled");
  EXPECT_EQ(n->ReadString("Empty", ""), "filled");
  std::string saved = c.SaveToString();
  EXPECT_NE(saved.find("<Key>changed</Key>\r\n  <Key>second</Key>"), std::string::npos) << saved;
}

TEST(GXConfiguration, NumbersIgnoreTheProcessLocale) {
  GermanLocale german;
  ASSERT_TRUE(german.Active()) << "de_DE.UTF-8 fehlt (scripts/setup.sh erzeugt sie)";
  TGXConfiguration c;
  IGXConfigNode n = c.GetNode(nullptr, "N");
  n->WriteFloat("Half", 0.5);
  n->WriteFloat("Third", 1.0 / 3.0);
  n->WriteFloat("Large", 1e20);
  n->WriteFloat("Small", -1.5e-5);
  n->WriteFloat("Hundred", 100);
  EXPECT_EQ(n->ReadString("Half", ""), "0.5");
  EXPECT_EQ(n->ReadString("Third", ""), "0.333333333333333");
  EXPECT_EQ(n->ReadString("Large", ""), "1E20");
  EXPECT_EQ(n->ReadString("Small", ""), "-1.5E-5");
  EXPECT_EQ(n->ReadString("Hundred", ""), "100");
  EXPECT_DOUBLE_EQ(n->ReadFloat("Half", 0), 0.5);
  n->WriteString("Comma", "0,5");
  EXPECT_EQ(n->ReadFloat("Comma", -1), -1);
}

TEST(GXConfiguration, BrokenDocumentsRaiseAndLeaveAnEmptyStore) {
  for (const char* text : {"<Application><GeneralSettings>", "", "kein XML", "<a></b>"}) {
    TGXConfiguration c;
    LoadText(c, "<Application><Volume>5</Volume></Application>");
    IGXConfigNode before = c.GetNode(nullptr, "Application");
    EXPECT_THROW(LoadText(c, text), EGXConfigurationError) << text;
    EXPECT_EQ(c.SaveToString(), "") << text;
    EXPECT_EQ(c.GetNode(nullptr, "Application")->ReadInteger("Volume", 100), 100);
    // The handle on the replaced document must not reach freed memory.
    EXPECT_FALSE(before->GetXMLNode());
    EXPECT_EQ(before->ReadInteger("Volume", 1), 1);
    EXPECT_THROW(before->WriteInteger("Volume", 2), EInvalidCall);
  }
}

TEST(GXConfiguration, TextsSurviveASaveAndReload) {
  TGXConfiguration c;
  IGXConfigNode n = c.GetNode(nullptr, "Application");
  const std::string odd = "a<b>&\"c\"\r\nzwei\tZeilen ÄÖÜß";
  n->WriteString("Text", odd);
  n->GetXMLNode().append_child("AssetPath").append_attribute("enabled") = "0";
  TGXMemoryStream s;
  c.SaveToStream(s);
  s.SetPosition(0);
  TGXConfiguration d;
  d.LoadFromStream(s);
  IGXConfigNode m = d.GetNode(nullptr, "Application");
  EXPECT_EQ(m->ReadString("Text", ""), odd);
  EXPECT_STREQ(m->GetXMLNode().child("AssetPath").attribute("enabled").value(), "0");
}

namespace {

std::string Nested(int depth, const std::string& inner = "1") {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<e>";
  text += inner;
  for (int i = 0; i < depth; ++i) text += "</e>";
  return text;
}

// Little-endian UTF-16 of an ASCII text, with or without byte-order mark.
std::string Utf16Le(const std::string& text, bool bom) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

// Counts what the XML library allocates, to see whether a document's tree was ever built.
size_t GXmlBytes = 0;
void* CountingAllocate(size_t size) {
  GXmlBytes += size;
  return std::malloc(size);
}

}  // namespace

TEST(GXConfiguration, NulCharactersAndDeepNestingAreRefusedWhereMarkupDoesNotCount) {
  const int limit = TGXConfiguration::MaxDepth;
  struct {
    const char* What;
    std::string Text;
    bool Readable;
  } cases[] = {
      {"at the limit", Nested(limit), true},
      {"one level deeper", Nested(limit + 1), false},
      {"self-closing at the limit", Nested(limit - 1, "<x/>"), true},
      {"self-closing one deeper", Nested(limit, "<x a=\"1\" />"), false},
      {"markup in comments, CDATA, instructions and values",
       "<a b=\"<c><c>\" d='</a>'><!-- " + Nested(limit + 5) + " --><![CDATA[" + Nested(limit + 5) +
           "]]><?p " + Nested(limit + 5) + "?>" + Nested(limit - 1) + "</a>",
       true},
      {"document type with a subset", "<!DOCTYPE a [<!ENTITY x \"<b>\"><!-- ' -->]>" + Nested(limit), true},
      {"NUL after the document", "<a>1</a>" + std::string(1, '\0'), false},
      {"NUL in a value", "<a>1" + std::string(1, '\0') + "2</a>", false},
      {"UTF-16 at the limit", Utf16Le(Nested(limit), true), true},
      {"UTF-16 without mark one deeper", Utf16Le(Nested(limit + 1), false), false},
  };
  for (const auto& c : cases) {
    TGXConfiguration config;
    if (c.Readable)
      EXPECT_NO_THROW(LoadText(config, c.Text)) << c.What;
    else
      EXPECT_THROW(LoadText(config, c.Text), EGXConfigurationError) << c.What;
  }
  // A UTF-16 document is read, not just accepted.
  TGXConfiguration config;
  LoadText(config, Utf16Le("<Application><Volume>42</Volume></Application>", false));
  EXPECT_EQ(config.GetNode(nullptr, "Application")->ReadInteger("Volume", 0), 42);
}

TEST(GXConfiguration, AMillionLevelsAreRefusedBeforeATreeIsBuilt) {
  const std::string text = Nested(1000000);
  pugi::set_memory_management_functions(CountingAllocate, std::free);
  GXmlBytes = 0;
  TGXConfiguration config;
  std::string message;
  try {
    LoadText(config, text);
  } catch (const EGXConfigurationError& e) {
    message = e.what();
  }
  size_t used = GXmlBytes;
  pugi::set_memory_management_functions(std::malloc, std::free);
  EXPECT_EQ(message, "Elemente tiefer als 256 Ebenen verschachtelt (Position 768)");
  EXPECT_LT(used, size_t(64) << 10);
  EXPECT_EQ(config.SaveToString(), "");
}

TEST(GXConfiguration, ParseErrorsNameTheirReasonInGerman) {
  struct {
    const char* Text;
    const char* Message;
  } cases[] = {
      {"<Application><GeneralSettings>",
       "XML-Fehler: End-Tag fehlt oder passt nicht zum Start-Tag (Position 29)"},
      {"", "XML-Fehler: kein Wurzelelement (Position 0)"},
      {"<a></b>", "XML-Fehler: End-Tag fehlt oder passt nicht zum Start-Tag (Position 5)"},
  };
  for (const auto& c : cases) {
    TGXConfiguration config;
    try {
      LoadText(config, c.Text);
      ADD_FAILURE() << c.Text;
    } catch (const EGXConfigurationError& e) {
      EXPECT_STREQ(e.what(), c.Message) << c.Text;
    }
  }
}
