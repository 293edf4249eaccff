// Zip.exe -j <archive> <pattern>: packs the files that match a wildcard
// pattern into a new zip archive, storing their bare names.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "zip/zip_writer.h"

namespace {

int Usage() {
  std::fputs("Usage: Zip.exe -j <archive path> <wildcard pattern>\n", stderr);
  return 2;
}

int Report(const std::string& what, const std::error_code& ec) {
  std::fprintf(stderr, "Zip: cannot %s: %s\n", what.c_str(), ec.message().c_str());
  return 1;
}

// True when `source` is the file that `archive` names, so that an archive
// written into the folder it packs is not packed into itself.
bool IsArchive(const std::string& source, const std::string& archive) {
  std::error_code ec;
  return std::filesystem::equivalent(quillet::NativePath(source), quillet::NativePath(archive), ec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "-j") return Usage();
  const std::string archive = argv[2];
  const std::string pattern = argv[3];
  const std::string temp = archive + ".tmp";
  std::unique_ptr<quillet::Files> files = quillet::CreateFiles();

  // The names are all listed before the archive is created, so that neither
  // the archive nor its temporary file can turn up among them. The search is
  // the one every other step uses, so "*.*" and friends match the same files
  // here as everywhere else in a run.
  std::vector<std::string> names;
  std::string name;
  std::error_code ec = files->DirFirst(pattern, /*with_folders=*/false, &name);
  while (!ec && !name.empty()) {
    names.push_back(name);
    ec = files->DirNext(&name);
  }
  if (ec) return Report("search " + pattern, ec);
  const std::string folder = pattern.substr(0, pattern.find_last_of("\\/") + 1);

  // A pattern that matches nothing still gives an archive, one without
  // entries. Info-ZIP would refuse and write nothing, but the caller judges
  // the step by whether the archive exists, and an empty folder of logs is
  // a normal outcome rather than a failure.
  quillet::ZipWriter writer;
  ec = writer.Create(temp);
  for (std::size_t i = 0; !ec && i < names.size(); ++i) {
    const std::string source = folder + names[i];
    if (!IsArchive(source, archive)) ec = writer.AddFile(source, names[i]);
  }
  if (!ec) ec = writer.Finish();
  if (ec) {
    writer.Abandon();
    return Report(writer.failure(), ec);
  }

  // The archive appears under its own name only once it is complete. An
  // archive already there is replaced rather than updated: the caller names
  // archives after the moment of the run, so a clash is a rerun within the
  // same second, and its files are the newer ones.
  std::remove(quillet::NativePath(archive).c_str());
  ec = files->RenamePath(temp, archive);
  if (ec) {
    std::remove(quillet::NativePath(temp).c_str());
    return Report("rename " + temp + " to " + archive, ec);
  }
  return 0;
}
