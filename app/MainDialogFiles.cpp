// The main window's file commands: Open, Save as, the recent files and the start-up open.
#include "app/FailureTexts.h"
#include "app/MainDialog.h"
#include "conversation/ConversationFileName.h"
#include "conversation/ConversationReader.h"
#include "conversation/ConversationSpan.h"
#include "convert/SamePath.h"
#include "engine/SerialFile.h"
#include "res/resource.h"
#include "win32/Application.h"
#include "win32/FileDialog.h"

namespace {
constexpr const char* kSerialFileFilter = "Serial Files (*.ser)|*.ser|All Files (*.*)|*.*||";
constexpr const char* kConversationFilter =
    "Conversations (*.pcapng)|*.pcapng|All Files (*.*)|*.*||";
constexpr const char* kEitherFileFilter =
    "Serial Files (*.ser)|*.ser|Conversations (*.pcapng)|*.pcapng;*.pcap|All Files (*.*)|*.*||";
constexpr int kFileMenuPosition = 0;
constexpr int kRecentMenuPosition = 3;

// Each entry of the recent-file list has its own menu id, and each id its entry.
static_assert(ID_RECENT_FILE_LAST - ID_RECENT_FILE_FIRST + 1 == RecentFiles::kCapacity,
              "one Open Recent menu id for each entry of the recent-file list");
}  // namespace

void MainDialog::onOpen() {
    if (!readyToReplaceFile()) return;
    auto chosen = chooseFileToOpen(handle(), kEitherFileFilter, OFN_FILEMUSTEXIST);
    if (chosen) openFile(*chosen);
}

// The length of a serial file; nothing, with the error box, when it would not open.
std::optional<std::uint32_t> MainDialog::loadDuration(const std::string& path) {
    DurationScan scan = scanDuration(path, debugTrace_);
    if (scan.failure.happened()) errors_.show(loadFailureText(scan.failure));
    return scan.duration;
}

// The length of a conversation, in tenths. A pcapng file's end tells it at once; a file that
// must be read through for it is, up to a size that reads in a moment; longer ones show 00:00.0.
std::uint32_t MainDialog::conversationLength(const std::string& path) {
    constexpr std::uint64_t kLongestScan = 64ull << 20;
    constexpr std::uint64_t kMicrosPerTenth = 100000;
    const std::uint64_t tenths =
        conversationSpanMicros(path, kLongestScan).value_or(0) / kMicrosPerTenth;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(tenths, UINT32_MAX));
}

// The file replaces the current one even when it cannot be read: the window then shows no file.
bool MainDialog::openFile(const std::string& path) {
    currentFilePath_ = path;
    unsavedRecording_ = false;
    showPortChoices({});
    if (namesConversationFile(path)) {
        // Only its header is read here, so a file of any size opens at once.
        ConversationReader reader;
        if (const Failure failure = reader.open(path); failure.happened()) {
            errors_.show(loadFailureText(failure));
            showNoFile();
            return false;
        }
        showPortChoices(reader.interfaces());
        showLoadedFile(conversationLength(path));
        return true;
    }
    auto duration = loadDuration(path);
    if (!duration) {
        showNoFile();
        return false;
    }
    showLoadedFile(*duration);
    return true;
}

// The current file has just been loaded: the window shows its length, stands at its start and
// lists it first among the recent files, unless it is the working file: that one has a new
// name every run and is deleted at exit, so it would only leave a dead entry.
void MainDialog::showLoadedFile(std::uint32_t duration) {
    setTransportButtons(TransportMode::Stopped);
    setSliderLength(duration);
    showTime(duration);
    showSliderAt(0);
    state_.currentPosition.store(0);
    reloadDataView();
    if (!namesSameFile(currentFilePath_, workingFilePath_)) addRecentFile(currentFilePath_);
}

// No file, Stopped, at 00:00.0: after New and after a file that could not be loaded.
void MainDialog::showNoFile() {
    currentFilePath_.clear();
    showPortChoices({});
    showTime(0);
    setTransportButtons(TransportMode::Stopped);
    setSliderLength(0);
    showSliderAt(0);
    state_.currentPosition.store(0);
    reloadDataView();
}

void MainDialog::onSaveAs() { saveAs(); }

// True once the current file has been copied; the copy is a recent file, and the recording in
// the working file counts as saved.
bool MainDialog::saveAs() {
    const std::optional<std::string> target = chooseSaveTarget();
    return target && saveTo(*target);
}

// The Save as dialog's answer; none when there is no file or it was cancelled.
std::optional<std::string> MainDialog::chooseSaveTarget() {
    if (currentFilePath_.empty()) return std::nullopt;
    const bool conversation = currentIsConversation();
    return chooseFileToSave(handle(), conversation ? kConversationFilter : kSerialFileFilter,
                            conversation ? "pcapng" : "ser",
                            OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
}

// The working file's kind is what was last recorded or imported into it; any other file's is
// told by its extension, as the command line tells it.
bool MainDialog::currentIsConversation() const {
    if (namesSameFile(currentFilePath_, workingFilePath_)) return workingFileIsConversation_;
    return namesConversationFile(currentFilePath_);
}

bool MainDialog::saveTo(const std::string& target) {
    if (!CopyFileA(currentFilePath_.c_str(), target.c_str(), FALSE)) {
        const SystemError error = lastSystemError();  // before anything else can change it
        errors_.show(saveFailureText(fileFailure(Failure::Kind::WriteOutput, target, error)));
        return false;
    }
    unsavedRecording_ = false;
    addRecentFile(target);
    return true;
}

void MainDialog::onRecentFile(UINT id) {
    std::size_t index = id - ID_RECENT_FILE_FIRST;
    if (index >= recentFiles_.paths().size()) return;
    std::string path = recentFiles_.paths()[index];  // a copy: opening reorders the list
    if (!path.empty() && readyToReplaceFile()) openFile(path);
}

void MainDialog::addRecentFile(const std::string& path) {
    recentFiles_.add(path);
    showRecentFiles();
}

// The Open Recent submenu shows the list; until the first entry it keeps its placeholder.
void MainDialog::showRecentFiles() {
    if (recentFiles_.paths().empty()) return;
    HMENU menu = GetMenu(handle());
    HMENU fileMenu = menu ? GetSubMenu(menu, kFileMenuPosition) : nullptr;
    HMENU recentMenu = fileMenu ? GetSubMenu(fileMenu, kRecentMenuPosition) : nullptr;
    if (recentMenu == nullptr) return;
    for (int count = GetMenuItemCount(recentMenu); count > 0; --count) {
        DeleteMenu(recentMenu, 0, MF_BYPOSITION);
    }
    UINT id = ID_RECENT_FILE_FIRST;
    for (const auto& path : recentFiles_.paths()) {
        AppendMenuA(recentMenu, MF_STRING, id++, path.c_str());
    }
}

void MainDialog::openFileFromCommandLine() {
    std::string path = pathFromCommandLine(Application::commandLineArguments());
    if (!path.empty()) openFile(path);
}
