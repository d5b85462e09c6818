#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "platform/locale.h"
#include "platform/shortdate.h"

namespace pagelume::platform {
namespace {

class Env {
public:
    Env(const char* all, const char* messages, const char* lang) {
        set("LC_ALL", all);
        set("LC_MESSAGES", messages);
        set("LANG", lang);
    }
    ~Env() { ::setenv("LC_ALL", "C.UTF-8", 1); }

private:
    static void set(const char* name, const char* value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
};

TEST(LanguageTag, ComesFromTheFirstSetLocaleVariable) {
    {
        Env env("de_DE.UTF-8", "fr_FR", "it_IT");
        EXPECT_EQ(languageTag(), "de-DE");
    }
    {
        Env env(nullptr, "fr_CA.ISO-8859-1@euro", "it_IT");
        EXPECT_EQ(languageTag(), "fr-CA");
    }
    {
        Env env("", nullptr, "pt_BR");
        EXPECT_EQ(languageTag(), "pt-BR");
    }
}

TEST(LanguageTag, PosixLocaleIsUsEnglishAndMissingPartsStayEmpty) {
    {
        Env env("C", nullptr, nullptr);
        EXPECT_EQ(languageTag(), "en-US");
    }
    {
        Env env(nullptr, nullptr, nullptr);
        EXPECT_EQ(languageTag(), "en-US");
    }
    {
        Env env("de", nullptr, nullptr);
        EXPECT_EQ(languageTag(), "de-");
    }
    {
        // The tag is written into markup unescaped: nothing but letters survives.
        Env env("e\"n_U<S>", nullptr, nullptr);
        EXPECT_EQ(languageTag(), "en-US");
    }
}

TEST(ShortDate, PosixLocaleGivesUsMonthDayYear) {
    // Tests run with LC_ALL=C.UTF-8; the date locale is read once per process.
    EXPECT_TRUE(std::regex_match(shortDateString(), std::regex(R"(\d{1,2}/\d{1,2}/\d{2})")))
        << shortDateString();
}

}  // namespace
}  // namespace pagelume::platform
