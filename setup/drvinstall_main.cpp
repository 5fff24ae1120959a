// drvinstall: installs the driver. Copies libsqldriver.so, libdsnconfig.so
// and libnetclient.so (and the translation library libqxutf8.so when it is
// there) from the directory this program lives in, or from the library
// directory of an installed tree (../lib beside bin/), into the driver
// directory, registers the driver and its setup library with the
// ODBC installer (SQLInstallDriverEx, full paths in Driver= and Setup=), and
// with /AUTO (or --auto) creates the system data source through
// SQLConfigDataSource, which calls ConfigDSN of the setup library.
//
//   drvinstall [/AUTO | --auto] [--prefix DIR] [--dsn NAME] [--dbq PATH]
//   drvinstall --help
//
// The driver directory is --prefix DIR, else QX_INSTALL_PREFIX, else the
// directory the installer names (ODBC_INSTALL_INQUIRY). While it runs the
// program holds the lock of its window class "ODBCSETUP" (platform/winclass.h),
// which setupboot watches. Interactive questions go through the dialog
// provider (platform/dialog.h); without a terminal they answer as Cancel,
// so that only --auto installs unattended.
//
// Exit codes (DrvExit): 0 installed; 1 usage; 2 already running; 3 not
// installed (the user left); 4 a file could not be copied; 5 the driver could
// not be registered; 6 the data source could not be created. A failure
// leaves the driver directory and the registration as they were.
#include "platform/dialog.h"
#include "platform/winclass.h"
#include "setup/drv_files.h"

#include <odbcinst.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace {

enum DrvExit : int {
    DRV_EXIT_OK = 0,
    DRV_EXIT_USAGE = 1,
    DRV_EXIT_RUNNING = 2,
    DRV_EXIT_NOT_INSTALLED = 3,
    DRV_EXIT_COPY = 4,
    DRV_EXIT_REGISTER = 5,
    DRV_EXIT_DATA_SOURCE = 6,
};

constexpr const char *kDriverDescription = "ODBC Driver for QX Server";
constexpr const char *kWindowClass = "ODBCSETUP";
constexpr const char *kTitle = "ODBC Driver for QX Server Setup";
constexpr const char *kDriverFile = "libsqldriver.so";
constexpr const char *kSetupFile = "libdsnconfig.so";
constexpr const char *kClientFile = "libnetclient.so";
constexpr const char *kTranslationFile = "libqxutf8.so";
constexpr size_t kPathMax = 300;

constexpr const char *kTxtInvalid = "Invalid option on command line.  Usage:";
constexpr const char *kTxtUsage =
    "drvinstall [/auto | --auto] [--prefix DIR] [--dsn NAME] [--dbq PATH]\n"
    "  --auto        install without questions and create the system data source\n"
    "  --prefix DIR  the driver directory (default: QX_INSTALL_PREFIX, else the\n"
    "                directory of the ODBC installer's odbcinst.ini)\n"
    "  --dsn NAME    the data source --auto creates (default: \"QX Server\")\n"
    "  --dbq PATH    its server, TCP/IP:host[:port] (default: TCP/IP:localhost)\n"
    "  --help        this text\n"
    "The libraries are taken from the program's own directory, else from the\n"
    "library directory of the tree it was installed in.";
constexpr const char *kTxtNoTerminal =
    "There is no terminal to ask on, so nothing was installed: run drvinstall --auto to "
    "install without questions.";
constexpr const char *kTxtWelcome =
    "Welcome to ODBC Driver for QX Server Setup Utility.\n"
    "Setup will install the driver and tell you how to set up a data source.  Choose OK to install "
    "or Cancel to leave without installing the ODBC Driver for QX Server.";
constexpr const char *kTxtConfirmExit = "The setup process is not complete.  If you exit now, ODBC "
                                        "Driver for QX Server will not be installed.\n"
                                        "Choose OK to go back, Cancel to exit.";
constexpr const char *kTxtAutoWelcome =
    "Welcome to the ODBC Driver for QX Server Setup utility.\n"
    "Please wait while setup installs and configures ODBC Driver for QX "
    "Server components.";
constexpr const char *kTxtSucceeded =
    "Setup Succeeded!\nODBC Driver for QX Server has been successfully installed.";
constexpr const char *kTxtNotInstalled = "ODBC Driver for QX Server has not been installed.\n"
                                         "Run setup again to install ODBC Driver for QX Server.";
constexpr const char *kTxtFailed =
    "ODBC Driver for QX Server could not be installed.\n"
    "Please correct the problem and rerun setup to install ODBC Driver for QX Server.";

struct Options {
    bool automatic = false;
    bool help = false;
    std::string prefix;
    std::string dsn = "QX Server";
    std::string dbq = "TCP/IP:localhost";
};

// "a;b;c;" as the installer's list of NUL-ended texts.
std::string InstallerList(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (c == ';')
            c = '\0';
    return out + '\0';
}

std::string InstallerErrorText()
{
    std::string all;
    for (WORD i = 1; i <= 8; ++i) {
        DWORD code = 0;
        char text[512] = {};
        WORD length = 0;
        if (SQLInstallerError(i, &code, text, sizeof text, &length) != SQL_SUCCESS)
            break;
        all += "\n  installer error " + std::to_string(code) +
               (text[0] ? std::string(": ") + text : "");
    }
    return all;
}

bool ParseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (strcasecmp(a.c_str(), "/AUTO") == 0 || a == "--auto")
            o->automatic = true;
        else if (a == "--help" || a == "-h")
            o->help = true;
        else if (a == "--prefix" && hasValue)
            o->prefix = argv[++i];
        else if (a == "--dsn" && hasValue)
            o->dsn = argv[++i];
        else if (a == "--dbq" && hasValue)
            o->dbq = argv[++i];
        else
            return false;
    }
    return true;
}

// The welcome dialog and its exit confirmation: true to install.
bool Welcome(PlatDialogProvider *ui)
{
    for (;;) {
        std::vector<PlatDialogField> none;
        if (ui->Run(std::string(kTitle) + ": " + kTxtWelcome, none, 0) == PLAT_DIALOG_OK)
            return true;
        if (ui->Run(std::string(kTitle) + ": " + kTxtConfirmExit, none, 0) != PLAT_DIALOG_OK)
            return false;
    }
}

// Where the libraries are: beside the program (a build's setup directory, or
// an unpacked distribution), else the library directory of the tree the
// program was installed in.
std::string LibrarySource()
{
    std::string own = DrvProgramDirectory();
    if (access((own + "/" + kDriverFile).c_str(), R_OK) == 0)
        return own;
    std::string installed = own + "/" QX_DRV_LIBDIR_FROM_BIN;
    if (access((installed + "/" + kDriverFile).c_str(), R_OK) == 0)
        return installed;
    return own; // the copy then names the missing file
}

std::string DriverDirectory(const Options &o)
{
    if (!o.prefix.empty())
        return o.prefix;
    if (const char *p = std::getenv("QX_INSTALL_PREFIX"); p && *p)
        return p;
    std::string inquiry = InstallerList(std::string(kDriverDescription) + ";Driver=" + kDriverFile +
                                        ";Setup=" + kSetupFile + ";");
    char path[kPathMax + 1] = {};
    WORD length = 0;
    DWORD usage = 0;
    if (!SQLInstallDriverEx(inquiry.c_str(), nullptr, path, kPathMax, &length, ODBC_INSTALL_INQUIRY,
                            &usage))
        return "";
    return path;
}

int InstallDriver(const Options &o)
{
    std::string dir = DriverDirectory(o);
    if (dir.empty()) {
        std::fprintf(stderr, "drvinstall: the ODBC installer names no driver directory%s\n",
                     InstallerErrorText().c_str());
        return DRV_EXIT_REGISTER;
    }
    if (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string source = LibrarySource();
    DrvFileSet files(source, dir);
    std::string error;
    std::vector<std::string> names = {kDriverFile, kSetupFile, kClientFile};
    if (access((source + "/" + kTranslationFile).c_str(), R_OK) == 0)
        names.push_back(kTranslationFile);
    if (!files.Copy(names, &error) || !files.Install(&error)) {
        std::fprintf(stderr, "drvinstall: %s\n", error.c_str());
        return DRV_EXIT_COPY;
    }
    std::string completion =
        InstallerList(std::string(kDriverDescription) + ";Driver=" + dir + "/" + kDriverFile +
                      ";Setup=" + dir + "/" + kSetupFile + ";");
    char path[kPathMax + 1] = {};
    WORD length = 0;
    DWORD usage = 0;
    // No path: the registration goes into the installer's own odbcinst.ini.
    if (!SQLInstallDriverEx(completion.c_str(), nullptr, path, kPathMax, &length,
                            ODBC_INSTALL_COMPLETE, &usage)) {
        std::fprintf(stderr, "drvinstall: the driver could not be registered%s\n",
                     InstallerErrorText().c_str());
        return DRV_EXIT_REGISTER; // the files are put back by the file set
    }
    files.Commit();
    std::printf("Installed %s, %s and %s%s in %s\n", kDriverFile, kSetupFile, kClientFile,
                names.size() > 3 ? " (and the translation library libqxutf8.so)" : "",
                dir.c_str());
    return DRV_EXIT_OK;
}

// The system data source, added (never removed first) through the installer.
int CreateDefaultDataSource(const Options &o)
{
    std::string attributes = o.dsn;
    attributes.insert(0, "DSN=");
    attributes += '\0' + std::string("Description=") + kDriverDescription + '\0' + "DBQ=" + o.dbq +
                  '\0' + '\0';
    if (!SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, kDriverDescription, attributes.c_str())) {
        std::fprintf(stderr, "drvinstall: the data source %s could not be created%s\n",
                     o.dsn.c_str(), InstallerErrorText().c_str());
        return DRV_EXIT_DATA_SOURCE;
    }
    std::printf("Created the system data source %s (%s)\n", o.dsn.c_str(), o.dbq.c_str());
    return DRV_EXIT_OK;
}

} // namespace

int main(int argc, char **argv)
{
    PlatClassWindow window;
    if (!window.Create(kWindowClass)) {
        std::fprintf(stderr, "drvinstall: setup is running already\n");
        return DRV_EXIT_RUNNING;
    }
    Options o;
    if (!ParseOptions(argc, argv, &o)) {
        std::fprintf(stderr, "%s\n%s\n", kTxtInvalid, kTxtUsage);
        return DRV_EXIT_USAGE;
    }
    if (o.help) {
        std::printf("%s\n", kTxtUsage);
        return DRV_EXIT_OK;
    }
    PlatDialogProvider *ui = PlatDialogCurrent();
    if (o.automatic) {
        std::printf("%s\n", kTxtAutoWelcome);
    } else if (!PlatDialogInteractive()) {
        std::printf("%s\n", kTxtNoTerminal);
        return DRV_EXIT_NOT_INSTALLED;
    } else if (!Welcome(ui)) {
        std::printf("%s\n", kTxtNotInstalled);
        return DRV_EXIT_NOT_INSTALLED;
    }
    int status = InstallDriver(o);
    if (status != DRV_EXIT_OK) {
        std::fprintf(stderr, "%s\n", status == DRV_EXIT_COPY ? kTxtNotInstalled : kTxtFailed);
        return status;
    }
    // The installer asks the setup library to configure the driver; it has
    // nothing to configure, so the answer is not used.
    char message[256];
    WORD length = 0;
    SQLConfigDriver(nullptr, ODBC_CONFIG_DRIVER, kDriverDescription, "", message, sizeof message,
                    &length);
    if (o.automatic) {
        status = CreateDefaultDataSource(o);
        std::printf("%s\n", status == DRV_EXIT_OK ? kTxtSucceeded : kTxtFailed);
        return status;
    }
    std::printf(
        "%s\nTo set up a data source, run for example:\n"
        "  odbcinst -i -s -l -f FILE     (FILE: [NAME] Driver=%s DBQ=TCP/IP:host)\n"
        "or call SQLConfigDataSource with the driver \"%s\", which runs this driver's ConfigDSN.\n",
        kTxtSucceeded, kDriverDescription, kDriverDescription);
    return DRV_EXIT_OK;
}
