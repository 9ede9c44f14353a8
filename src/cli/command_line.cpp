#include "cli/command_line.h"

#include <array>
#include <string_view>

#include "core/rpz_writer.h"

namespace quorvale {

namespace {

struct OptionInfo {
  std::string_view name;
  CliAction::Kind kind;
  // What the value is, for the message when it is missing; empty for options without one.
  std::string_view value_kind;
};

constexpr std::array<OptionInfo, 27> kOptions = {{
    {"--hosts", CliAction::Kind::kHosts, "un fichier"},
    {"--domains", CliAction::Kind::kDomains, "un fichier"},
    {"--domain-only", CliAction::Kind::kDomainOnly, "un fichier"},
    {"--remove-names", CliAction::Kind::kRemoveNames, "un fichier"},
    {"--sort", CliAction::Kind::kSort, ""},
    {"--redirect", CliAction::Kind::kRedirect, "une adresse"},
    {"--www", CliAction::Kind::kWww, ""},
    {"--comments", CliAction::Kind::kComments, ""},
    {"--write-hosts", CliAction::Kind::kWriteHosts, "un fichier"},
    {"--write-rpz", CliAction::Kind::kWriteRpz, "un fichier"},
    {"--rpz-zone", CliAction::Kind::kRpzZone, "un nom de zone"},
    {"--rpz-wildcard", CliAction::Kind::kRpzWildcard, ""},
    {"--after-write", CliAction::Kind::kAfterWrite, "une commande"},
    {"--write-sorted-hosts", CliAction::Kind::kWriteSortedHosts, "un fichier"},
    {"--export", CliAction::Kind::kExport, "un fichier"},
    {"--write-sorted-names", CliAction::Kind::kWriteSortedNames, "un fichier"},
    {"--report", CliAction::Kind::kReport, "un fichier"},
    {"--replace-hosts", CliAction::Kind::kReplaceHosts, ""},
    {"--list-backups", CliAction::Kind::kListBackups, ""},
    {"--restore-backup", CliAction::Kind::kRestoreBackup, "un nom de sauvegarde"},
    {"--dump", CliAction::Kind::kDump, ""},
    {"--sources", CliAction::Kind::kSources, "un fichier"},
    {"--update", CliAction::Kind::kUpdate, ""},
    {"--why", CliAction::Kind::kWhy, "un nom"},
    {"--schedule", CliAction::Kind::kSchedule, "daily, weekly ou off"},
    {"--quiet", CliAction::Kind::kQuiet, ""},
    {"--accept-shrink", CliAction::Kind::kAcceptShrink, ""},
}};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsWithDashes(std::string_view arg) { return arg.size() > 2 && arg.substr(0, 2) == "--"; }

CommandLine UsageError(std::string error) {
  CommandLine result;
  result.outcome = CommandLine::Outcome::kUsageError;
  result.error = std::move(error);
  return result;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine result;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::string_view name = arg;
    std::string_view attached;
    bool has_attached = false;
    if (size_t equals = arg.find('='); StartsWithDashes(arg) && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      attached = arg.substr(equals + 1);
      has_attached = true;
    }

    if (name == "--help" || name == "--version") {
      if (has_attached) return UsageError(std::string(name) + " n'attend pas de valeur");
      result.outcome = name == "--help" ? CommandLine::Outcome::kHelp : CommandLine::Outcome::kVersion;
      result.actions.clear();
      return result;
    }

    const OptionInfo* option = nullptr;
    for (const OptionInfo& candidate : kOptions) {
      if (candidate.name == name) option = &candidate;
    }
    if (option == nullptr) {
      if (arg.size() > 1 && arg[0] == '-') {
        return UsageError("option inconnue: " + std::string(name));
      }
      return UsageError("argument inattendu: " + std::string(arg));
    }

    CliAction action{option->kind, std::string()};
    if (option->value_kind.empty()) {
      if (has_attached) return UsageError(std::string(name) + " n'attend pas de valeur");
    } else {
      if (has_attached) {
        action.value = attached;
      } else if (i + 1 < args.size()) {
        action.value = args[++i];
      }
      if (action.value.empty()) {
        return UsageError(std::string(name) + " attend " + std::string(option->value_kind));
      }
      if (option->kind == CliAction::Kind::kRedirect && action.value != "127.0.0.1" && action.value != "0.0.0.0") {
        return UsageError("adresse de redirection invalide: " + action.value + " (127.0.0.1 ou 0.0.0.0)");
      }
      if (option->kind == CliAction::Kind::kRpzZone && RpzZoneName(action.value).empty()) {
        return UsageError("nom de zone invalide: " + action.value + " (par exemple " + std::string(kDefaultRpzZone) +
                          ")");
      }
      if (option->kind == CliAction::Kind::kAfterWrite && CommandWords(action.value).empty()) {
        return UsageError("commande invalide: " + action.value + " (guillemet non ferme?)");
      }
      if (option->kind == CliAction::Kind::kSchedule && action.value != "daily" && action.value != "weekly" &&
          action.value != "off") {
        return UsageError("frequence invalide: " + action.value + " (daily, weekly ou off)");
      }
    }
    result.actions.push_back(std::move(action));
  }
  if (result.actions.empty()) return UsageError("aucune action demandee");
  return result;
}

std::vector<std::string> CommandWords(std::string_view command) {
  std::vector<std::string> words;
  size_t i = 0;
  while (true) {
    while (i < command.size() && IsBlank(command[i])) ++i;
    if (i == command.size()) break;
    std::string word;
    while (i < command.size() && !IsBlank(command[i])) {
      if (command[i] != '"') {
        word += command[i++];
        continue;
      }
      const size_t close = command.find('"', i + 1);
      if (close == std::string_view::npos) return {};
      word.append(command.substr(i + 1, close - i - 1));
      i = close + 1;
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::string CliHelpText(std::string_view hosts_file_name) {
  std::string text;
  text = "Usage: quorvale-cli ACTION...\n"
         "Charge, trie et ecrit des listes de noms comme Quorvale, sans fenetre.\n"
         "Les actions s'executent dans l'ordre donne, sur une seule session; la premiere\n"
         "qui echoue arrete tout.\n"
         "\n"
         "Chargements:\n"
         "  --hosts FICHIER              charge un fichier au format hosts\n"
         "  --domains FICHIER            charge une liste de noms de domaines\n"
         "  --domain-only FICHIER        ajoute un fichier (nom de domaines seulement) a la\n"
         "                               liste a trier\n"
         "  --remove-names FICHIER       retire des deux listes et de la liste a trier les\n"
         "                               noms du fichier (une liste de noms de domaines)\n"
         "  --sort                       trie la liste a trier et retire les doublons\n"
         "Un FICHIER '-' est l'entree standard; un tube nomme est lu, un peripherique refuse.\n"
         "Les fichiers UTF-16 sont lus comme les autres.\n"
         "\n"
         "Options des ecritures qui suivent:\n"
         "  --redirect ADRESSE           127.0.0.1 (par defaut) ou 0.0.0.0\n"
         "  --www                        ajoute une ligne 'www.' pour chaque nom\n"
         "  --comments                   inclut les commentaires\n"
         "\n"
         "Ecritures:\n"
         "  --write-hosts SORTIE         les deux listes au format hosts\n"
         "  --write-rpz SORTIE           les deux listes en zone RPZ pour un serveur DNS\n"
         "                               (BIND, Unbound); le numero de serie suit celui\n"
         "                               de la zone remplacee\n"
         "  --rpz-zone NOM               le nom de la zone de --write-rpz, ou qu'il soit\n"
         "                               (par defaut rpz.quorvale.)\n"
         "  --rpz-wildcard               ajoute *.NOM pour les noms en dessous de chaque\n"
         "                               nom de la zone, ou qu'il soit; les noms retires\n"
         "                               (allow.txt, --remove-names) en dessous restent\n"
         "                               resolus (rpz-passthru)\n"
         "  --after-write COMMANDE       lance COMMANDE (sans shell) apres une ecriture\n"
         "                               qui a change un fichier, par exemple\n"
         "                               \"rndc reload rpz.quorvale\"\n"
         "  --write-sorted-hosts SORTIE  la liste a trier au format hosts\n"
         "  --export SORTIE              les noms de la liste des adresses bloquees\n"
         "  --write-sorted-names SORTIE  la liste a trier, un nom par ligne\n"
         "  --report SORTIE              le rapport des lignes rejetees du dernier chargement\n"
         "  --replace-hosts              remplace le fichier hosts du systeme (copie de\n"
         "                               sauvegarde ";
  text += hosts_file_name;
  text += ".<date>.bak, puis lecture seule)\n"
          "  --list-backups               affiche les copies de sauvegarde du fichier hosts,\n"
          "                               la plus recente d'abord: NOM, date, octets\n"
          "  --restore-backup NOM         remet la copie NOM (ou 'latest', la plus recente)\n"
          "                               a la place du fichier hosts, comme --replace-hosts\n"
          "  --dump                       affiche les listes sur la sortie standard\n"
          "\n"
          "Sources (des listes a telecharger, une par ligne: ADRESSE [hosts|domains]):\n"
          "  --sources FICHIER            le fichier des sources des actions qui suivent;\n"
          "                               own.txt et allow.txt sont lus a cote de lui\n"
          "  --update                     telecharge les sources (les copies non modifiees\n"
          "                               sont gardees) et charge own.txt, les copies, puis\n"
          "                               retire les noms d'allow.txt; l'ecriture qui suit\n"
          "                               n'ecrit rien quand rien n'a change\n"
          "  --why NOM                    dit quelles sources contiennent NOM (copies deja\n"
          "                               telechargees) et dans quelle liste il arrive\n"
          "  --schedule daily|weekly|off  planifie la mise a jour (--replace-hosts --quiet)\n"
          "  --quiet                      n'affiche que les echecs de la mise a jour\n"
          "  --accept-shrink              garde aussi les copies qui n'ont plus aucune entree\n"
          "                               ou moins de la moitie des entrees de la derniere\n"
          "                               (jamais une page HTML); sinon la derniere copie est\n"
          "                               utilisee et la source est en echec\n"
          "\n"
          "  --help                       affiche cette aide\n"
          "  --version                    affiche la version\n"
          "\n"
          "Une SORTIE '-' est la sortie standard; un peripherique ou un tube nomme est ecrit\n"
          "tel quel, sans fichier temporaire.\n"
          "\n"
          "Apres --replace-hosts et --restore-backup, le cache DNS du systeme est vide\n"
          "(resolvectl, nscd; ipconfig /flushdns sous Windows); le resultat est affiche.\n"
          "\n"
          "SOURCE_DATE_EPOCH, s'il est defini, fixe la date ecrite dans l'en-tete.\n"
          "\n"
          "Les messages et l'affichage sont du texte UTF-8, ecrit tel quel dans un fichier ou\n"
          "un tube; une console Windows le recoit en caracteres, quelle que soit sa page de\n"
          "codes (chcp).\n"
          "\n"
          "Statut de sortie: 0 succes; 1 erreur d'utilisation; 2 fichier illisible (ou vide\n"
          "pour --domain-only), sauvegarde introuvable, fichier impossible a ecrire (le\n"
          "fichier existant reste intact), ou un autre remplacement du fichier hosts en cours\n"
          "depuis plus de 10 s; source malformee ou aucune source obtenue. 3: une mise a jour\n"
          "dont des sources ont echoue (leur derniere copie est utilisee). Un cache DNS non\n"
          "vide ne change pas le statut.\n";
  return text;
}

}  // namespace quorvale
