#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>

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
    // M/d/yy: one or two digits, a slash, one or two digits, a slash, two digits.
    const std::string date = shortDateString();
    int month = 0, day = 0, year = 0, length = 0;
    ASSERT_EQ(std::sscanf(date.c_str(), "%2d/%2d/%2d%n", &month, &day, &year, &length), 3) << date;
    EXPECT_EQ(static_cast<std::size_t>(length), date.size()) << date;
    EXPECT_EQ(date.substr(date.size() - 3, 1), "/") << "a two-digit year: " << date;
    EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << date;
}

}  // namespace
}  // namespace pagelume::platform
