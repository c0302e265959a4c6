// The user's SMTP server and HTTP proxy from the Microsoft and Netscape clients.
#include "discovery_fixture.h"

namespace {

const char kUser[] = "HKEY_USERS\\S-1-5-21-7\\";

class MailProxyTest : public DiscoveryTest {
protected:
    void SetUp() override {
        DiscoveryTest::SetUp();
        UserRootKey.underUsers = 1;
        std::strcpy(UserRootKey.usersSubkey, "S-1-5-21-7");
    }
    // A user key and its values: "Key" relative to the user, then value lines.
    void UserKey(const std::string& key, const std::string& values) {
        ImportRegistry("[" + std::string(kUser) + key + "]\r\n" + values);
    }
    void Handlers(const std::string& mailto, const std::string& http) {
        if (!mailto.empty())
            ImportRegistry("[HKEY_CLASSES_ROOT\\mailto\\shell\\open\\command]\r\n@=\"" + mailto +
                           "\"\r\n");
        if (!http.empty())
            ImportRegistry("[HKEY_CLASSES_ROOT\\http\\shell\\open\\command]\r\n@=\"" + http +
                           "\"\r\n");
    }
    void InternetSettingsProxy(const std::string& value) {
        UserKey("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                "\"ProxyServer\"=\"" + value + "\"\r\n");
    }
    void OutlookExpressAccount(const std::string& server) {
        UserKey("Software\\Microsoft\\Internet Account Manager",
                "\"Default Mail Account\"=\"00000001\"\r\n");
        UserKey("Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001",
                "\"SMTP Server\"=\"" + server + "\"\r\n");
    }
    // A Netscape user whose profile lies in C:\Netscape\Users\ann\ with `prefs` as prefs.js.
    void NetscapeUser(const std::string& prefs, const std::string& popstate =
                                                    "C:\\\\Netscape\\\\Users\\\\ann\\\\mail\\\\"
                                                    "popstate.dat") {
        const std::string biff = "Software\\Netscape\\Netscape Navigator\\Biff";
        UserKey(biff, "\"CurrentUser\"=\"ann\"\r\n");
        UserKey(biff + "\\Users\\ann", "\"DefaultServer\"=\"pop.example\"\r\n");
        UserKey(biff + "\\Users\\ann\\Servers\\pop.example",
                "\"popstatePath\"=\"" + popstate + "\"\r\n");
        zutest::WriteFile(Drive() / "Netscape/Users/ann/prefs.js", prefs);
    }
};

TEST(PrefValueTest, ValuesAreTakenByPosition) {
    struct Case {
        const char* line;
        const char* quoted;
        const char* bare;
    } cases[] = {
        {"user_pref(\"network.proxy.http\", \"proxy.example\");\n", "proxy.example",
         "\"proxy.exampl"},
        {"user_pref(\"network.proxy.http_port\", 3128);\n", "12", "3128"},
        // Without the blank the value's first character is lost; with two the quote is kept.
        {"user_pref(\"network.proxy.http\",\"proxy.example\");", "roxy.example", "proxy.exampl"},
        {"user_pref(\"network.proxy.http\",  \"proxy.example\");", "\"proxy.example",
         " \"proxy.exampl"},
        {"user_pref(\"network.hosts.smtp_server\", \"\");", "", "\"\""},
        // Positions that are missing or cross give nothing, never text from beyond the line.
        {"user_pref(\"network.proxy.http\", \"no paren\";", "", ""},
        {"user_pref(\"network.proxy.http\" \"no comma\");", "", ""},
        {") user_pref(\"network.proxy.http\", \"x\");", "", ""},
        {"user_pref(\"a\",)", "", ""},
        {",)", "", ""},
    };
    for (const Case& c : cases) {
        char quoted[kSettingSize] = "#";
        char bare[kPortSize] = "#";
        ExtractQuotedPrefValue(c.line, quoted);
        ExtractBarePrefValue(c.line, bare);
        EXPECT_STREQ(quoted, c.quoted) << c.line;
        EXPECT_STREQ(bare, std::string(c.bare).substr(0, kPortSize - 1).c_str()) << c.line;
    }
}

TEST(PrefValueTest, LongValuesAreCutToTheirBuffers) {
    std::string host(200, 'h');
    std::string line = "user_pref(\"network.proxy.http\", \"" + host + "\");";
    char quoted[kSettingSize + 1];
    std::memset(quoted, '#', sizeof quoted);
    ExtractQuotedPrefValue(line.c_str(), quoted);
    EXPECT_EQ(std::string(quoted), std::string(kSettingSize - 1, 'h'));
    EXPECT_EQ(quoted[kSettingSize], '#');

    char port[kPortSize + 1];
    std::memset(port, '#', sizeof port);
    ExtractBarePrefValue("user_pref(\"network.proxy.http_port\", 12345678901234);", port);
    EXPECT_STREQ(port, "123456789");
    EXPECT_EQ(port[kPortSize], '#');
}

TEST_F(MailProxyTest, InternetSettingsProxyForms) {
    struct Case {
        const char* value;
        bool found;
        const char* proxy;
    } cases[] = {
        {"proxy.example:8080", true, "proxy.example:8080"},
        {"ftp=a:21;http=b:80", true, "b:80"},
        {"http=b:80;ftp=a:21", true, "b:80"},
        {"ftp=a:21;gopher=g:70", false, ""},
        // An empty http= entry is a find, and so stops the search.
        {"http=;ftp=a:21", true, ""},
        {"HTTP=b:80", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        SetUp();
        InternetSettingsProxy(c.value);
        char proxy[kSettingSize] = "old";
        EXPECT_EQ(ReadMicrosoftSetting(kHttpProxy, proxy), c.found) << c.value;
        EXPECT_STREQ(proxy, c.proxy) << c.value;
        TearDown();
    }
}

TEST_F(MailProxyTest, AccountManagersAreAskedInOrderWithTheAccountNameCarried) {
    // The first manager names the account; the second has none and is asked under the same
    // name; the fourth would answer too but is not reached.
    UserKey("Software\\Microsoft\\Office\\Outlook\\OMI Account Manager",
            "\"Default Mail Account\"=\"Work\"\r\n");
    UserKey("Software\\Microsoft\\Office\\8.0\\Outlook\\OMI Account Manager\\Accounts\\Work",
            "\"SMTP Server\"=\"smtp.second.example\"\r\n");
    OutlookExpressAccount("smtp.fourth.example");
    char smtp[kSettingSize] = "old";
    EXPECT_TRUE(ReadMicrosoftSetting(kSmtpServer, smtp));
    EXPECT_STREQ(smtp, "smtp.second.example");

    SetUp();
    OutlookExpressAccount("smtp.fourth.example");
    EXPECT_TRUE(ReadMicrosoftSetting(kSmtpServer, smtp));
    EXPECT_STREQ(smtp, "smtp.fourth.example");

    SetUp();
    EXPECT_FALSE(ReadMicrosoftSetting(kSmtpServer, smtp));
    EXPECT_STREQ(smtp, "");
}

TEST_F(MailProxyTest, HandlerCommandsChooseTheFirstSource) {
    struct Case {
        const char* mailto;
        const char* http;
        const char* smtp;
        const char* proxy;
    } cases[] = {
        {"C:\\\\Program Files\\\\OUTLOOK EXPRESS\\\\msimn.exe /mailurl:%1",
         "\\\"C:\\\\PROGRA~1\\\\Plus!\\\\IEXPLORE.EXE\\\" -nohome", "smtp.ms.example",
         "ms.example:80"},
        {"C:\\\\Netscape\\\\netscape.exe -compose %1", "C:\\\\Netscape\\\\NETSCAPE.EXE %1",
         "smtp.ns.example", "ns.example:3128"},
        // No mail command: Netscape first. Both browsers named: iexplore wins.
        {"", "netscape.exe or iexplore.exe", "smtp.ns.example", "ms.example:80"},
        // A browser that is neither leaves the proxy alone.
        {"", "C:\\\\Opera\\\\opera.exe", "smtp.ns.example", "old"},
    };
    for (const Case& c : cases) {
        SetUp();
        Handlers(c.mailto, c.http);
        InternetSettingsProxy("ms.example:80");
        OutlookExpressAccount("smtp.ms.example");
        NetscapeUser(
            "user_pref(\"network.hosts.smtp_server\", \"smtp.ns.example\");\n"
            "user_pref(\"network.proxy.http\", \"ns.example\");\n"
            "user_pref(\"network.proxy.http_port\", 3128);\n");
        char smtp[kSettingSize] = "";
        char proxy[kSettingSize] = "old";
        FindSmtpServer(smtp);
        FindHttpProxy(proxy);
        EXPECT_STREQ(smtp, c.smtp) << c.mailto;
        EXPECT_STREQ(proxy, c.proxy) << c.http;
        ExpectNoOpenKeys();
        TearDown();
    }
}

TEST_F(MailProxyTest, FallbackIsAskedWhenTheFirstSourceHasNothing) {
    Handlers("outlook.exe", "iexplore.exe");
    InternetSettingsProxy("ftp=a:21");
    NetscapeUser(
        "user_pref(\"network.hosts.smtp_server\", \"smtp.ns.example\");\n"
        "user_pref(\"network.proxy.http\", \"ns.example\");\n");
    char smtp[kSettingSize] = "";
    char proxy[kSettingSize] = "";
    FindSmtpServer(smtp);
    FindHttpProxy(proxy);
    EXPECT_STREQ(smtp, "smtp.ns.example");
    EXPECT_STREQ(proxy, "ns.example");
}

TEST_F(MailProxyTest, PrefsLinesGiveHostThenPort) {
    struct Case {
        const char* prefs;
        bool found;
        const char* proxy;
    } cases[] = {
        {"user_pref(\"network.proxy.http_port\", 81);\n"
         "user_pref(\"network.proxy.http\", \"first\");\n"
         "user_pref(\"network.proxy.http\", \"second\");\n"
         "user_pref(\"network.proxy.http_port\", 8080);\n"
         "user_pref(\"network.proxy.http_port\", 9090);\n",
         true, "first:8080"},
        {"user_pref(\"network.proxy.http\", \"alone\");\n", true, "alone"},
        {"user_pref(\"network.proxy.http_port\", 8080);\n", false, "old"},
        // A prefix behind a comment marker still counts.
        {"// user_pref(\"network.proxy.http\", \"commented\");\n"
         "user_pref(\"network.proxy.http_port\", 1)\n",
         true, "commented:1"},
        {"", false, "old"},
    };
    for (const Case& c : cases) {
        SetUp();
        NetscapeUser(c.prefs);
        char proxy[kSettingSize] = "old";
        EXPECT_EQ(ReadNetscapeSetting(kHttpProxy, proxy), c.found) << c.prefs;
        EXPECT_STREQ(proxy, c.proxy) << c.prefs;
        TearDown();
    }
}

TEST_F(MailProxyTest, HostAndPortTogetherStayInsideTheField) {
    NetscapeUser("user_pref(\"network.proxy.http\", \"" + std::string(98, 'h') +
                 "\");\nuser_pref(\"network.proxy.http_port\", 8080);\n");
    char proxy[kSettingSize + 1];
    std::memset(proxy, '#', sizeof proxy);
    EXPECT_TRUE(ReadNetscapeSetting(kHttpProxy, proxy));
    EXPECT_EQ(std::string(proxy), std::string(98, 'h') + ":");
    EXPECT_EQ(proxy[kSettingSize], '#');
}

TEST_F(MailProxyTest, PrefsFileIsFoundThroughTheBiffKeys) {
    char path[kPathSize];
    EXPECT_FALSE(FindNetscapePrefsFile(path));
    NetscapeUser("");
    ASSERT_TRUE(FindNetscapePrefsFile(path));
    EXPECT_STREQ(path, "C:\\Netscape\\Users\\ann\\prefs.js");
    SetUp();
    NetscapeUser("", "C:\\\\Netscape\\\\Users\\\\ann\\\\Mail\\\\popstate.dat");
    EXPECT_FALSE(FindNetscapePrefsFile(path));
    char smtp[kSettingSize] = "old";
    EXPECT_FALSE(ReadNetscapeSetting(kSmtpServer, smtp));
    EXPECT_STREQ(smtp, "old");
}

TEST_F(MailProxyTest, UsersSubkeyIsNeverCutIntoAnotherKey) {
    // A subkey name longer than 48 characters still names its own key.
    std::string name(90, 'u');
    std::strcpy(UserRootKey.usersSubkey, name.c_str());
    ImportRegistry("[HKEY_USERS\\" + name +
                   "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]\r\n"
                   "\"ProxyServer\"=\"long.example:80\"\r\n"
                   "[HKEY_USERS\\" +
                   name.substr(0, 48) +
                   "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings]\r\n"
                   "\"ProxyServer\"=\"wrong.example:80\"\r\n");
    char proxy[kSettingSize] = "";
    EXPECT_TRUE(ReadMicrosoftSetting(kHttpProxy, proxy));
    EXPECT_STREQ(proxy, "long.example:80");
}

// Real preference files: proxy host and port among ftp, ssl, socks and backup variants,
// commented-out lines, a line without its semicolon, a real SMTP server line.
TEST_F(MailProxyTest, RealPrefsFiles) {
    ZU_REQUIRE_SAMPLES();
    struct Case {
        const char* file;
        const char* smtp;  // nullptr: none found
        const char* proxy;
    } cases[] = {
        {"prefs/sisyphus/bughunter-user.js", nullptr, "proxy.bughunter.mdc2.mozilla.com:3128"},
        {"prefs/sisyphus/mail-user.js", nullptr, "proxy.bughunter.mdc2.mozilla.com:3128"},
        {"prefs/mit-athena/athena-netscape-preferences.js", "outgoing.mit.edu", nullptr},
        {"prefs/netscape4-liprefs/liprefs.js", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SetUp();
        NetscapeUser(zutest::ReadFile(zutest::SamplesDir() / c.file));
        char smtp[kSettingSize] = "none";
        char proxy[kSettingSize] = "none";
        EXPECT_EQ(ReadNetscapeSetting(kSmtpServer, smtp), c.smtp != nullptr) << c.file;
        EXPECT_EQ(ReadNetscapeSetting(kHttpProxy, proxy), c.proxy != nullptr) << c.file;
        EXPECT_STREQ(smtp, c.smtp ? c.smtp : "none") << c.file;
        EXPECT_STREQ(proxy, c.proxy ? c.proxy : "none") << c.file;
        TearDown();
    }
}

}  // namespace
