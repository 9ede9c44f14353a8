#include "core/sources_file.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "update/update_texts.h"

namespace quorvale {
namespace {

// The sources read from `text`, each as "LINE SCHEME KIND ADDRESS", or the error alone.
std::vector<std::string> Read(std::string_view text) {
  std::vector<Source> sources(1);
  MalformedSourceLine malformed;
  if (!ParseSourcesFile(text, &sources, &malformed)) {
    EXPECT_TRUE(sources.empty());
    return {MalformedLineText(malformed)};
  }
  constexpr const char* kSchemes[] = {"https", "http", "file", "path"};
  std::vector<std::string> read;
  for (const Source& source : sources) {
    read.push_back(std::to_string(source.line_number) + " " + kSchemes[static_cast<int>(source.scheme)] + " " +
                   std::string(SourceKindWord(source.kind)) + " " + source.address);
  }
  return read;
}

TEST(SourcesFile, ReadsEachFormOfLine) {
  EXPECT_EQ(Read("\xEF\xBB\xBF# listes\r\nhttps://a.example/hosts.txt\r\n  \t\r\nHTTP://b.example/x Domains\n"
                 "\t file:///srv/l%20a.txt\tHOSTS  \n  # https://c.example/l\n/etc/lists/one\nC:\\lists\\two domains\n"
                 "C:/lists/three\n\\\\server\\share\\four\nfive.txt\n  \"C:\\Jean Dupont\\liste.txt\"\tdomains\n"
                 "\"#six.txt\"\n\"https://a.example/q\" hosts\n"),
            (std::vector<std::string>{"2 https hosts https://a.example/hosts.txt", "4 http domains HTTP://b.example/x",
                                      "5 file hosts file:///srv/l%20a.txt", "7 path hosts /etc/lists/one",
                                      "8 path domains C:\\lists\\two", "9 path hosts C:/lists/three",
                                      "10 path hosts \\\\server\\share\\four", "11 path hosts five.txt",
                                      "12 path domains C:\\Jean Dupont\\liste.txt", "13 path hosts #six.txt",
                                      "14 https hosts https://a.example/q"}));
}

TEST(SourcesFile, StopsAtTheFirstMalformedLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"https://a.example/l\nftp://b.example/l\n",
       "ligne 2: adresse non reconnue: ftp://b.example/l (https://, http://, file:// ou un chemin)"},
      {"HTTPS://", "ligne 1: adresse incomplete: HTTPS://"}, {"http:///l", "ligne 1: adresse incomplete: http:///l"},
      {"# x\r\nfile://localhost domains", "ligne 2: adresse incomplete: file://localhost"},
      {"https://a.example/l host", "ligne 1: type inconnu: host (hosts ou domains)"},
      {"https://a.example/l hosts #", "ligne 1: trop de champs (une adresse, puis hosts ou domains)"},
      {"https://a.example/\x01l", "ligne 1: caractere de controle dans la ligne"},
      {"\n\nhttps://a.example/l\r\r\n", "ligne 3: caractere de controle dans la ligne"},
      {"https://a.example/l\x7F", "ligne 1: caractere de controle dans la ligne"},
      {"\"lists/a b.txt", "ligne 1: guillemet non ferme"},
      {"\"lists/a b.txt\"domains", "ligne 1: espace attendu apres le guillemet fermant"},
      {"\"\" hosts", "ligne 1: adresse vide"}, {"\" \"", "ligne 1: adresse vide"},
      {"\"a\tb.txt\"", "ligne 1: tabulation dans l'adresse"},
      {"\"https://a.example/a b\"", "ligne 1: espace dans l'adresse"},
      {"\"file:///srv/a b\"", "ligne 1: espace dans l'adresse"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(Read(text), std::vector<std::string>{message});
}

// The editor's address alone, and the line it writes for it, which reads back as it.
TEST(SourcesFile, ChecksAnAddressAloneAndWritesItsLine) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"https://a.example/l", "", "https://a.example/l domains"},
      {"C:\\Users\\Jean Dupont\\liste.txt", "", "\"C:\\Users\\Jean Dupont\\liste.txt\" domains"},
      {"#x.txt", "", "\"#x.txt\" domains"}, {"a\"b.txt", "", "a\"b.txt domains"},
      {"\xEF\xBB\xBFx.txt", "marque d'ordre des octets dans l'adresse", ""},
      {"a \"b.txt", "guillemet dans l'adresse", ""}, {"\"ab", "guillemet dans l'adresse", ""},
      {"https://a.example/a b", "espace dans l'adresse", ""}, {"  ", "adresse vide", ""},
      {"a\tb\x01", "caractere de controle dans l'adresse", ""},
  };
  for (const auto& [address, reason, line] : cases) {
    EXPECT_EQ(SourceFaultText(CheckSourceAddress(address)), reason) << address;
    if (!reason.empty()) continue;
    EXPECT_EQ(SourceLineOf(address, SourceKind::kDomains), line);
    std::vector<Source> sources;
    MalformedSourceLine malformed;
    ASSERT_TRUE(ParseSourcesFile(line, &sources, &malformed)) << MalformedLineText(malformed);
    EXPECT_EQ(sources[0].address, address);
  }
}

TEST(SourcesFile, FindsTheFileOfALocalSource) {
  const std::pair<std::string, std::string> cases[] = {
      {"file://localhost/srv/l%20a%2fb%00.txt", "/srv/l a/b%00.txt"},
      {"file://server/share/l", "//server/share/l"},
      {"lists/l.txt", "/home/u/quorvale/lists/l.txt"},
      {"\"lists/Jean Dupont.txt\"", "/home/u/quorvale/lists/Jean Dupont.txt"},
      {"file:///srv/Jean%20Dupont/l.txt", "/srv/Jean Dupont/l.txt"},
      {"file:///srv/l%41", "/srv/lA"},
      {"file:///srv/l%4A%4b", "/srv/lJK"},
#ifdef _WIN32
      {"FILE:///C:/lists/l%25.txt", "C:/lists/l%.txt"},
      {"D:\\l.txt", "D:\\l.txt"},
      {"\\\\server\\share\\l", "\\\\server\\share\\l"},
#else
      {"/srv/C:/l", "/srv/C:/l"},
#endif
  };
  for (const auto& [address, path] : cases) {
    std::vector<Source> sources;
    MalformedSourceLine malformed;
    ASSERT_TRUE(ParseSourcesFile(address, &sources, &malformed)) << MalformedLineText(malformed);
    EXPECT_EQ(LocalSourcePath(sources[0], "/home/u/quorvale/"), path);
  }
}

}  // namespace
}  // namespace quorvale
