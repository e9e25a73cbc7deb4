// Archives written by other tools (Info-ZIP zip, 7z, bsdtar, Python's
// zipfile), generated here, are listed, tested and extracted byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "ReaderTestSupport.h"

using namespace readertest;

namespace {

// A small tree: sub-folders, an empty file, an empty folder, binary data, a
// compressible text, accented names.
void MakeTree(const std::string& root) {
    mkdir(root.c_str(), 0777);
    mkdir((root + "/docs").c_str(), 0777);
    mkdir((root + "/docs/2023").c_str(), 0777);
    mkdir((root + "/vide").c_str(), 0777);
    std::mt19937 random(42);
    std::string binary(150000, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "ligne " + std::to_string(i) + " de texte\r\n";
    WriteFile(root + "/docs/2023/note.txt", text);
    WriteFile(root + "/docs/binaire.bin", binary);
    WriteFile(root + "/docs/caf\xc3\xa9.txt", "caf\xc3\xa9 cr\xc3\xa8me");
    WriteFile(root + "/zero.txt", "");
    WriteFile(root + "/racine.txt", "à la racine");
}

void CheckArchive(const std::string& archive, const std::string& tree, const std::string& tool) {
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive)) << tool << ": " << (rec.errors.empty() ? "" : rec.errors[0].second);
    // bsdtar names its members ".\docs\...": the "." part is dropped on extraction.
    std::vector<std::string> names;
    for (std::int32_t n = 1; n <= zip.inFileCount(); ++n) {
        const std::string name = zip.inFileName(n);
        names.push_back(name.rfind(".\\", 0) == 0 ? name.substr(2) : name);
    }
    EXPECT_NE(std::find(names.begin(), names.end(), "docs\\2023\\note.txt"), names.end()) << tool;
    EXPECT_NE(std::find(names.begin(), names.end(), "docs\\caf\xc3\xa9.txt"), names.end()) << tool;
    EXPECT_TRUE(zip.TestAllFiles()) << tool << ": " << (rec.errors.empty() ? "" : rec.errors[0].second);
    Scratch out;
    EXPECT_TRUE(zip.ExtractAllFiles(out.path(), true, false, true)) << tool;
    EXPECT_TRUE(rec.errors.empty()) << tool << ": " << (rec.errors.empty() ? "" : rec.errors[0].second);
    EXPECT_EQ(Snapshot(out.path()), Snapshot(tree)) << tool;
}

}  // namespace

TEST(ReaderOtherTools, InfoZip) {
    if (!Have("zip")) GTEST_SKIP() << "zip missing";
    Scratch s;
    MakeTree(s / "t");
    ASSERT_EQ(Shell("cd '" + s / "t" + "' && zip -qr '" + s / "a.zip" + "' . -z < /dev/null"), 0);
    CheckArchive(s / "a.zip", s / "t", "zip");
    // Stored members, and data descriptors written to a pipe.
    ASSERT_EQ(Shell("cd '" + s / "t" + "' && zip -qr0 '" + s / "b.zip" + "' ."), 0);
    CheckArchive(s / "b.zip", s / "t", "zip -0");
    ASSERT_EQ(Shell("cd '" + s / "t" + "' && zip -qr - . | cat > '" + s / "c.zip" + "'"), 0);
    CheckArchive(s / "c.zip", s / "t", "zip to a pipe");
}

TEST(ReaderOtherTools, SevenZip) {
    if (!Have("7z")) GTEST_SKIP() << "7z missing";
    Scratch s;
    MakeTree(s / "t");
    ASSERT_EQ(Shell("cd '" + s / "t" + "' && 7z a -tzip '" + s / "a.zip" + "' ."), 0);
    CheckArchive(s / "a.zip", s / "t", "7z");
}

TEST(ReaderOtherTools, Bsdtar) {
    if (!Have("bsdtar")) GTEST_SKIP() << "bsdtar missing";
    Scratch s;
    MakeTree(s / "t");
    ASSERT_EQ(Shell("bsdtar --format zip -cf '" + s / "a.zip" + "' -C '" + s / "t" + "' ."), 0);
    CheckArchive(s / "a.zip", s / "t", "bsdtar");
    ASSERT_EQ(Shell("bsdtar --format zip --options zip:compression=store -cf '" + s / "b.zip" + "' -C '" + s / "t" +
                  "' ."),
              0);
    CheckArchive(s / "b.zip", s / "t", "bsdtar store");
}

TEST(ReaderOtherTools, PythonZipfile) {
    if (!Have("python3")) GTEST_SKIP() << "python3 missing";
    Scratch s;
    MakeTree(s / "t");
    const std::string script = s / "mk.py";
    WriteFile(script,
              "import os, sys, zipfile\n"
              "root, out, method = sys.argv[1], sys.argv[2], int(sys.argv[3])\n"
              "with zipfile.ZipFile(out, 'w', method) as z:\n"
              "    for d, dirs, files in os.walk(root):\n"
              "        dirs.sort()\n"
              "        rel = os.path.relpath(d, root)\n"
              "        if rel != '.':\n"
              "            z.write(d, rel)\n"
              "        for f in sorted(files):\n"
              "            z.write(os.path.join(d, f), os.path.normpath(os.path.join(rel, f)))\n"
              "    z.comment = b'python'\n");
    ASSERT_EQ(Shell("python3 '" + script + "' '" + s / "t" + "' '" + s / "d.zip" + "' 8"), 0);
    CheckArchive(s / "d.zip", s / "t", "python deflated");
    ASSERT_EQ(Shell("python3 '" + script + "' '" + s / "t" + "' '" + s / "s.zip" + "' 0"), 0);
    CheckArchive(s / "s.zip", s / "t", "python stored");
    clsZip zip;
    ASSERT_TRUE(zip.ZipOpen(s / "s.zip"));
    EXPECT_EQ(zip.ZipComment(), "python");
}
