// Netscape User Preferences
// This is a generated file!  Do not edit.

user_pref("browser.startup.homepage", "http://intranet.lab.example/");
user_pref("mail.identity.username", "Tom Field");
user_pref("mail.pop_name", "tom");
user_pref("network.hosts.pop_server", "pop.lab.example");
user_pref("network.hosts.smtp_server", "smtp.lab.example");
user_pref("network.proxy.ftp", "gw.lab.example");
user_pref("network.proxy.ftp_port", 2121);
user_pref("network.proxy.http", "cache.lab.example");
user_pref("network.proxy.http_port", 3128);
user_pref("network.proxy.type", 1);
