// kuvzip-cli create: its output contract, and the standard ZIP tools reading
// what it writes (unzip, 7z, bsdtar, Python's zipfile), names included.
#include <gtest/gtest.h>

#include "WriterTestSupport.h"

using namespace writertest;

namespace {

const std::string kCli = std::string(KUVZIP_BIN_DIR) + "/kuvzip-cli";

class CreateToolsTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        Make("data/rapport.txt", "Sauvegarde\r\nligne 2\r\n");
        Make("data/é à è.txt", "accents de la table OEM");
        Make("data/Ñandú €.txt", "hors de la table: UTF-8");
        Make("data/vide.dat", "");
        Make("data/sous dossier/Ärger.txt", std::string(50000, 'z'));
        RunShell("head -c 400000 /dev/urandom > " + Quote(P("data/sous dossier/aléa.bin")));
    }
    // Runs kuvzip-cli in the scratch folder.
    CommandResult Cli(const std::string& args) { return RunShell("cd " + Quote(dir) + " && " + Quote(kCli) + " " + args); }
};

}  // namespace

TEST_F(CreateToolsTest, StandardToolsAcceptTheArchivesOfBothMethods) {
    CommandResult r = Cli("create --recurse --path-mode 2 --comment 'Sauvegarde du 01/02/2024' list.zip 'data/*.*'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    r = Cli("create --stream --recurse --path-mode 2 --comment 'Sauvegarde du 01/02/2024' stream.zip 'data/*.*'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(P("list.zip")), Slurp(P("stream.zip")));

    const std::string zip = Quote(P("list.zip"));
    if (HaveProgram("unzip")) {
        r = RunShell("unzip -t " + zip);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("No errors detected"), std::string::npos);
        // A UTF-8 name comes out under its own name, in its folder.
        // (unzip warns, status 1, that the MS-DOS names use "\" between folders.)
        r = RunShell("cd " + Quote(dir) + " && LC_ALL=C.UTF-8 unzip -qo list.zip -d unzipped");
        EXPECT_LE(r.status, 1) << r.out << r.err;
        EXPECT_EQ(Slurp(P("unzipped/data/Ñandú €.txt")), "hors de la table: UTF-8");
    }
    if (HaveProgram("7z")) {
        r = RunShell("7z t " + zip);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("Everything is Ok"), std::string::npos);
    }
    if (HaveProgram("bsdtar")) {
        r = RunShell("bsdtar -tf " + zip);
        EXPECT_EQ(r.status, 0) << r.err;
        // bsdtar shows the "\" of an MS-DOS archive as "/".
        EXPECT_NE(r.out.find("data/rapport.txt\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("data/Ñandú €.txt\n"), std::string::npos) << r.out;  // UTF-8 name with bit 11
        r = RunShell("bsdtar -xOf " + zip + " data/rapport.txt");
        EXPECT_EQ(r.out, "Sauvegarde\r\nligne 2\r\n");
    }
    // Python: every CRC checked, every name read as written, every byte compared.
    const std::string script =
        "import zipfile,sys,os\n"
        "z=zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "print(z.comment.decode('cp1252'))\n"
        "for i in z.infolist():\n"
        "  p=os.path.join(sys.argv[2], i.filename.replace('\\\\','/'))\n"
        "  assert z.read(i)==open(p,'rb').read(), i.filename\n"
        "  print(i.filename, i.compress_type, i.file_size)\n";
    WriteFile(P("check.py"), script);
    r = RunShell("python3 " + Quote(P("check.py")) + " " + zip + " " + Quote(dir));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Sauvegarde du 01/02/2024\n"
              "data\\rapport.txt 8 21\n"
              "data\\vide.dat 0 0\n"
              "data\\é à è.txt 8 23\n"
              "data/Ñandú €.txt 8 23\n"  // a UTF-8 name keeps "/" between folders
              "data\\sous dossier\\aléa.bin 8 400000\n"
              "data\\sous dossier\\Ärger.txt 8 50000\n");
}

TEST_F(CreateToolsTest, OutputContractAndExitStatus) {
    // Usage errors: 2.
    EXPECT_EQ(Cli("create").status, 2);
    EXPECT_EQ(Cli("create only.zip").status, 2);
    EXPECT_EQ(Cli("create --bogus a.zip data/rapport.txt").status, 2);
    EXPECT_EQ(Cli("create --level").status, 2);
    EXPECT_EQ(Cli("create --level x a.zip data/rapport.txt").status, 2);
    EXPECT_EQ(Cli("frobnicate").status, 2);
    // A missing file: the event on standard error, exit 1, the rest written.
    CommandResult r = Cli("create --no-crc --level 9 a.zip data/rapport.txt data/absent.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "FileZipErr 10: Ce fichier n'existe pas (n° erreur zip) [" + P("data/absent.txt") + "]\n");
    EXPECT_EQ(RunShell("unzip -Z1 " + Quote(P("a.zip"))).out, "rapport.txt\n");
    // An existing archive without --overwrite: refused, untouched.
    const std::string before = Slurp(P("a.zip"));
    r = Cli("create a.zip data/vide.dat");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "FileZipErr 11: Création -No Overwrite- du Zip abandonnée car le fichier existe déjà [a.zip]\n");
    EXPECT_EQ(Slurp(P("a.zip")), before);
    r = Cli("create --stream a.zip data/vide.dat");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Slurp(P("a.zip")), before);
    r = Cli("create --overwrite --stream a.zip data/vide.dat");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunShell("unzip -Z1 " + Quote(P("a.zip"))).out, "vide.dat\n");
    // A folder that cannot be listed: a Status line, which is not an error.
    r = Cli("create b.zip 'nowhere/*.*'");
    EXPECT_EQ(r.err, "Status: Association Chemin, filtre inaccessible\n");
    EXPECT_EQ(r.status, 0);
    // Full paths in mode 1.
    r = Cli("create --path-mode 1 c.zip data/rapport.txt");
    std::string full = P("data/rapport.txt");
    for (char& c : full)
        if (c == '/') c = '\\';
    EXPECT_EQ(RunShell("unzip -Z1 " + Quote(P("c.zip"))).out, full + "\n");
}
