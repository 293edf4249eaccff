// The promise a collection makes to the PC it runs on, tried over seeded random
// trees: every byte that existed before a run is afterwards on disk unchanged or
// in a readable archive, and a run reports success exactly when the archive holds
// everything it collected. QUILLET_PROPERTY_CASES sets the number of cases
// (default 100) and QUILLET_PROPERTY_SEED the first seed, to replay a failure.

#include <fnmatch.h>

#include <map>
#include <random>

#include "platform/platform.h"
#include "run/run_collection.h"
#include "tests/fakes/fakes.h"
#include "tests/native/test_files.h"

namespace quillet::native_test {
namespace {

// How the stand-in packer behaves, beside the real one.
constexpr const char* kPackers[] = {
    "exec \"$ZIP\" \"$@\"",                       // The real packer.
    "\"$ZIP\" \"$@\"; exit 1",                    // Archive, then failure.
    "exit 0",                                     // No archive.
    "\"$ZIP\" \"$@\" && truncate -s -30 \"$2\"",  // Cut short.
    // One file left out.
    "mkdir \"$2.d\" && cp \"${3%/*}\"/* \"$2.d\" && rm \"$(ls \"$2.d\"/* | head -n 1)\" && "
    "\"$ZIP\" -j \"$2\" \"$2.d/*.*\"; rm -r \"$2.d\"",
    // The last byte of packed data flipped.
    "\"$ZIP\" \"$@\" && python3 -c \"import sys; f = open(sys.argv[1], 'r+b'); d = f.read(); "
    "o = int.from_bytes(d[-6:-2], 'little') - 1; f.seek(o); f.write(bytes([d[o] ^ 1]))\" \"$2\"",
};

class PropertyTest : public TreeTest {
 protected:
  std::unique_ptr<Files> files_ = CreateFiles();
  std::unique_ptr<Processes> processes_ = CreateProcesses();
  std::unique_ptr<Environment> environment_ = CreateEnvironment(0, nullptr);
  std::unique_ptr<SettingsReader> settings_ = CreateSettingsReader();
  testing::FakePlatform fake_;

  // One random collection; returns a description of what went wrong, "" if nothing.
  std::string RunCase(std::uint32_t seed) {
    std::mt19937 random(seed);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    fs::remove_all(root_ / "tree");
    std::map<std::string, std::string> before;
    for (const char* folder : {"a", "b", "target/Log"}) {
      for (const char* name : {"app.log", "APP.LOG", "b.log", "c.txt", "app (2).log"}) {
        if (pick(2) == 0) continue;
        const fs::path path = root_ / "tree" / folder / name;
        before[path.string()] = std::string(static_cast<std::size_t>(pick(3000)), 'a' + pick(26)) +
                                std::to_string(random());
        Write(path, before[path.string()]);
      }
    }
    const std::string t = (root_ / "tree").string();
    const char* patterns[] = {"/a/*.log", "/b/*.*", "/b/app.log", "/target/Log/*.*", "/a/APP.LOG"};
    std::string logs, deletions;
    std::vector<std::string> chosen;
    for (int n = 1; n <= 3; ++n) {
      chosen.push_back(t + patterns[pick(5)]);
      logs += std::to_string(n) + "=" + chosen.back() + "\n";
    }
    for (int n = 1; n <= 2; ++n)
      deletions += std::to_string(n) + "=" + t + patterns[pick(5)] + "\n";
    Write(root_ / "prog" / "quillet.ini", "[Project]\nTargetPath=" + t + "/target\n[LogFilesXP]\n" +
                                              logs + "[DeleteFilesXP]\n" + deletions);
    // The stand-in packer may also append to a collected log before it packs.
    const int packer = pick(6);
    const std::string grow = pick(3) == 0 ? "printf more >> '" + t + "/a/b.log' 2>/dev/null; " : "";
    Write(root_ / "tools" / "Quillet" / "Zip.exe",
          "#!/bin/sh\nZIP='" + std::string(QUILLET_TOOLS_DIR) + "/Quillet/Zip.exe'\n" + grow +
              kPackers[packer] + "\n");
    fs::permissions(root_ / "tools" / "Quillet" / "Zip.exe", fs::perms::owner_all);

    // The run goes in-process, over the real files and processes of the
    // system but without the pauses and the screen, so that many cases fit.
    setenv("MorvaToolsDir", (root_ / "tools").c_str(), 1);
    setenv("VisuDir", (root_ / "visu").c_str(), 1);
    RunContext context;
    context.platform =
        Platform{files_.get(),  processes_.get(), environment_.get(), settings_.get(),
                 &fake_.window, &fake_.clock,     &fake_.desktop,     &fake_.lock};
    context.interactive = false;
    SetProgramLocation((root_ / "prog" / "quillet").string(), &context);
    const int code = RunCollection(context);
    err_ = fake_.window.events.empty() ? "" : fake_.window.events.back();

    std::map<std::string, std::string> archived = {{"!", "no archive"}};
    for (const auto& entry : fs::directory_iterator(root_ / "tree" / "target")) {
      if (entry.path().filename().string().rfind("1-", 0) == 0)
        archived = test_support::ReadZip(entry.path().string());
    }
    if (code != (packer == 0 ? 0 : 3)) return "exit code " + std::to_string(code) + "; " + err_;
    if (code == 0 && archived.count("!") != 0)
      return "success without a readable archive: " + archived["!"];
    // Files a log entry names must be kept or archived; the others may be deleted.
    for (const auto& [path, content] : before) {
      bool listed = false, kept = fs::exists(path) && ReadAll(path).rfind(content, 0) == 0;
      for (const std::string& pattern : chosen)
        listed = listed || fnmatch(pattern.c_str(), path.c_str(), FNM_PATHNAME | FNM_CASEFOLD) == 0;
      for (const auto& entry : archived) kept = kept || entry.second == content;
      // An earlier run's file in the staging folder may have moved aside to a free name.
      std::error_code gone;  // The staging folder goes once an archive holds it.
      for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path(), gone))
        kept = kept || ReadAll(entry.path()).rfind(content, 0) == 0;
      if (listed && !kept) return path + " is neither on disk nor archived; " + err_;
    }
    return "";
  }
};

TEST_F(PropertyTest, EveryByteIsOnDiskOrInAReadableArchive) {
  const char* cases = std::getenv("QUILLET_PROPERTY_CASES");
  const char* first = std::getenv("QUILLET_PROPERTY_SEED");
  const std::uint32_t seed = first != nullptr ? static_cast<std::uint32_t>(std::atol(first)) : 1;
  const int count = cases != nullptr ? std::atoi(cases) : 100;
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(RunCase(seed + i), "")
        << "replay with QUILLET_PROPERTY_SEED=" << seed + i << " QUILLET_PROPERTY_CASES=1";
  }
}

}  // namespace
}  // namespace quillet::native_test
