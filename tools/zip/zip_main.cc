// Zip.exe [-T threads] -j <archive> <pattern>: packs the files that match a
// wildcard pattern into a new zip archive, storing their bare names.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/platform.h"
#include "platform/priority.h"
#include "platform/threads.h"
#include "zip/parallel_deflater.h"
#include "zip/zip_writer.h"

namespace {

int Usage() {
  std::fputs(
      "Usage: Zip.exe [-T threads] -j <archive path> <wildcard pattern>\n"
      "  -T n  deflate on n threads (1 to 8); the default is one per processor.\n"
      "        The archive is the same for every n.\n",
      stderr);
  return 2;
}

// The number that `text` spells in decimal digits, or 0 when it is not one.
int ThreadCount(const std::string& text) {
  if (text.empty() || text.size() > 4 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return std::atoi(text.c_str());
}

int Report(const std::string& what, const std::error_code& ec) {
  std::fprintf(stderr, "Zip: cannot %s: %s\n", what.c_str(), ec.message().c_str());
  return 1;
}

// True when `a` and `b` name the same file or folder; "" is the current one.
// The files' identities are compared as the steps of a run compare them:
// on Windows the C++ library's own comparison fails for a folder named with
// its trailing separator, as FolderOf gives it, and would let an archive in
// the packed folder be packed into the new one.
bool SamePath(quillet::Files& files, const std::string& a, const std::string& b) {
  quillet::FileInfo first, second;
  return !files.Stat(a.empty() ? "." : a, &first) && !files.Stat(b.empty() ? "." : b, &second) &&
         first.id == second.id;
}

// The folder part of `path` with its trailing separator, "" for none.
std::string FolderOf(const std::string& path) {
  return path.substr(0, path.find_last_of("\\/") + 1);
}

}  // namespace

int main(int argc, char** argv) {
  // The packer runs while the operator works with the HMI, so it leaves the
  // processor and the disk to the programs at normal priority. This comes
  // before any thread is made, so that every thread inherits it.
  quillet::LowerOwnPriority();
  // The archive holds copies of logs that may be readable only by their
  // owners; it is made readable by its owner only as well.
  quillet::KeepNewFilesPrivate();

  int threads = std::min(quillet::ProcessorCount(), quillet::kMaxDeflateThreads);
  int arg = 1;
  if (argc == 6 && std::string(argv[1]) == "-T") {
    threads = ThreadCount(argv[2]);
    if (threads < 1) return Usage();
    arg = 3;
  }
  if (argc != arg + 3 || std::string(argv[arg]) != "-j") return Usage();
  const std::string archive = argv[arg + 1];
  const std::string pattern = argv[arg + 2];
  const std::string temp = archive + ".tmp";
  std::unique_ptr<quillet::Files> files = quillet::CreateFiles();

  // The names are all listed before the archive is created, so that neither
  // the archive nor its temporary file can turn up among them. The search is
  // the one every other step uses, so "*.*" and friends match the same files
  // here as everywhere else in a run.
  std::vector<std::string> names;
  std::error_code ec = files->List(pattern, /*with_folders=*/false, &names);
  if (ec) return Report("search " + pattern, ec);
  const std::string folder = FolderOf(pattern);
  // An archive written into the folder it packs must not be packed into
  // itself. Only then are the files compared with it one by one, which
  // spares thousands of look-ups in the usual case of another folder.
  const bool archive_in_folder = SamePath(*files, folder, FolderOf(archive));

  // A pattern that matches nothing still gives an archive, one without
  // entries. Info-ZIP would refuse and write nothing, but the caller judges
  // the step by whether the archive exists, and an empty folder of logs is
  // a normal outcome rather than a failure.
  quillet::ZipWriter writer(*files, 6, threads);
  quillet::Error error = writer.Create(temp);
  for (std::size_t i = 0; !error && i < names.size(); ++i) {
    const std::string source = folder + names[i];
    if (!archive_in_folder || !SamePath(*files, source, archive))
      error = writer.AddFile(source, names[i]);
  }
  if (!error) error = writer.Finish();
  if (error) {
    writer.Abandon();
    return Report(error.what, error.code);
  }

  // The archive appears under its own name only once it is complete and on
  // the disk (Finish flushes it), and the new name is made to reach the disk
  // as well before the packer reports success: its caller deletes what the
  // archive holds next. An archive already there is replaced rather than
  // updated: the caller names archives after the moment of the run, so a
  // clash is a rerun within the same second, and its files are the newer
  // ones.
  files->DeleteFile(archive);
  ec = files->RenamePath(temp, archive);
  if (ec) {
    files->DeleteFile(temp);
    return Report("rename " + temp + " to " + archive, ec);
  }
  const std::string archive_folder = FolderOf(archive);
  ec = files->SyncFolder(archive_folder.empty() ? "." : archive_folder);
  if (ec) return Report("write the name " + archive + " to the disk", ec);
  return 0;
}
