// stillweaver-cli export: decodes frames of an AVI and saves each through
// the viewer's export step.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "avi_view/avi_reader.h"
#include "avi_view/frame_export.h"
#include "cli/commands.h"
#include "cli/options.h"

namespace cli {

const char kExportHelp[] =
    "usage: stillweaver-cli export [OPTIONS] FILE.avi\n"
    "\n"
    "Decodes frames of an AVI in order and saves each as SaveNNNN.jpg, as the\n"
    "viewer's WriteFiles does.\n"
    "\n"
    "  --first N   the first frame to save (default 0)\n"
    "  --last N    the last frame to save (default the last one)\n"
    "  --dir DIR   the folder to save into, made when missing (default .)\n"
    "  --names source|index\n"
    "              source: each frame named after the picture it was made\n"
    "              from, NAME.jpg, or NAME-NNNN.jpg when frames share a name;\n"
    "              index: SaveNNNN.jpg (the default)\n";

int CmdExport(const Args& args) {
  std::int32_t first = 0, last = -1;
  std::string folder = ".", path, naming = "index";
  OptionParser parser(args);
  while (parser.More()) {
    if (parser.Int("--first", &first) || parser.Int("--last", &last) || parser.Text("--dir", &folder) ||
        parser.Text("--names", &naming))
      continue;
    if (parser.Failed()) break;
    if (!path.empty()) return UsageError("export takes one AVI file");
    path = parser.Positional();
  }
  if (parser.Failed()) return UsageError(parser.Error());
  if (path.empty()) return UsageError("export needs an AVI file");
  if (naming != "source" && naming != "index") return UsageError("--names takes source or index");
  const std::string absolute = std::filesystem::absolute(path).string();

  avi_view::AviReader reader(absolute, [](const std::string& text, const std::string& caption) {
    ReportError(caption, text);
  });
  if (!reader.ready()) return 1;
  CLSID jpeg{};
  if (avi_view::FindEncoderByMime(u"image/jpeg", &jpeg) < 0) {
    ReportError("Error", "no JPEG encoder");
    return 1;
  }
  const std::int32_t count = static_cast<std::int32_t>(reader.m_streamInfo.dwLength);
  if (last < 0 || last >= count) last = count - 1;
  if (first < 0) first = 0;

  // Taken before the folder changes, while the reader's stream is open.
  std::vector<std::string> names;
  if (naming == "source" && first <= last) {
    if (!AVIStreamHasFrameSources(reader.m_videoStream))
      std::fprintf(stderr, "export: %s records no frame sources; frames keep their SaveNNNN.jpg names\n",
                   path.c_str());
    std::vector<std::string> sources;
    for (std::int32_t index = first; index <= last; ++index) {
      const char* source = "";
      const char* time = "";
      if (AVIStreamFrameSource(reader.m_videoStream, index, &source, &time) != AVIERR_OK) source = "";
      sources.emplace_back(source);
    }
    names = avi_view::SourceExportNames(sources, first);
  }

  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (chdir(folder.c_str()) != 0) {
    ReportError("Error", "cannot enter the folder " + folder + ": " + std::strerror(errno));
    return 1;
  }
  // Names in messages lead from where the command was started.
  std::string shownFolder = folder == "." ? "" : folder;
  if (!shownFolder.empty() && shownFolder.back() != '/') shownFolder += '/';

  std::atomic<int> failures{0};  // counted on the saving helper too
  std::atomic<bool> stop{false};
  int saved = 0;
  {
    avi_view::ExportQueue exports(jpeg, [&](const avi_view::ExportResult& result) {
      ReportError("Error", shownFolder + avi_view::ExportFailureText(result));
      ++failures;
      // A full disk or a read-only file system fails every later frame the
      // same way; one unwritable file does not.
      const int error = int(result.error);
      if (error == ENOSPC || error == EDQUOT || error == EROFS) stop = true;
    });
    for (std::int32_t index = first; index <= last && !stop; ++index) {
      const void* frame = AVIStreamGetFrame(reader.m_decoder, index);
      if (!frame) {
        ReportError("Error", "frame " + std::to_string(index) + " could not be decoded");
        ++failures;
        continue;
      }
      if (!exports.Push(frame, index, names.empty() ? std::string() : names[std::size_t(index - first)])) {
        ReportError("Error", "frame " + std::to_string(index) + " could not be copied");
        ++failures;
      }
    }
    exports.Drain();
    saved = exports.Saved();
  }
  std::printf("exported %d frames\n", saved);
  return failures == 0 ? 0 : 1;
}

}  // namespace cli
