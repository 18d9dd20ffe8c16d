#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandRules.h"
#include "app/ConversionRun.h"
#include "app/ErrorBoxReporter.h"
#include "app/RecentFiles.h"
#include "app/StatusLine.h"
#include "app/TransportRules.h"
#include "app/TrayIcon.h"
#include "conversation/ConversationInterface.h"
#include "convert/Import.h"
#include "dataview/DataViewModel.h"
#include "engine/DebugTrace.h"
#include "engine/DeviceSettings.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"
#include "workers/SharedState.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerRunner.h"

class Profile;

// The program's main window: transport buttons, position slider, time display, activity meter
// and status line, with the menu. It owns the state that it shares with the one running worker
// and stops and awaits that worker before it goes.
class MainDialog : public Dialog, private WorkerStateListener {
public:
    explicit MainDialog(Profile& profile);
    ~MainDialog() override;

    const std::string& workingFilePath() const { return workingFilePath_; }

private:
    // Window (MainDialog.cpp)
    bool onInitDialog() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void onOK() override {}  // Enter does nothing
    void onCancel() override;
    void onClose();
    void onDestroy();
    bool onPaint();
    void onShowDelayOver();
    void onHelp();
    void onWebsite();
    void onAlwaysOnTop();
    bool isTopmost() const;
    void restoreWindowPosition();

    // Commands, update pass, menu help (MainDialogCommands.cpp)
    bool onCommand(int id, int notifyCode, HWND control) override;
    LRESULT onKickIdle(LONG idleCount) override;
    void runUpdatePass();
    void updateMenuItem(HMENU menu, UINT index, UINT id);
    TransportFlags transportFlags() const;
    void onMenuSelect(UINT itemId, UINT flags, HMENU menu);
    LRESULT menuItemState(UINT id);

    // Files (MainDialogFiles.cpp)
    void onOpen();
    bool openFile(const std::string& path);
    std::optional<std::uint32_t> loadDuration(const std::string& path);
    std::uint32_t conversationLength(const std::string& path);
    void showLoadedFile(std::uint32_t duration);
    void showNoFile();
    void onSaveAs();
    bool saveAs();
    std::optional<std::string> chooseSaveTarget();
    bool saveTo(const std::string& target);
    void onRecentFile(UINT id);
    void addRecentFile(const std::string& path);
    void showRecentFiles();
    void openFileFromCommandLine();

    // The Play menu's choice of port in a conversation of several (MainDialogPlayedPort.cpp)
    void showPortChoices(std::vector<ConversationInterface> ports);
    void onChoosePort(UINT id);

    // Working file kept over a crash, and the question before a recording is dropped
    // (MainDialogWorkingFile.cpp)
    bool offerLeftBehindRecordings();
    bool askToSaveRecording();
    bool holdsUnsavedRecording() const;
    bool readyToReplaceFile();
    bool onQueryEndSession();
    void onEndSession(bool ending);

    // Settings (MainDialogSettings.cpp)
    void onSerialDevice();
    void onLogging();

    // Conversions (MainDialogConversions.cpp)
    void onExport();
    void onImport();
    bool importFile(const std::string& path, int speed, ImportFormat format);
    bool runConversion(const std::string& caption, const std::string& fileName,
                       const ConversionRun::Work& work);
    void stopConversion();

    // Transport (MainDialogTransport.cpp)
    void onRecord();
    void onPlay();
    void onPause();
    void onStop();
    void onFastForward();
    void onFastRewind();
    void onNew();
    void clearWorkingFile();
    void setTransportButtons(TransportMode mode);
    void showTransportState();
    bool refuseStartWhileRunning();
    void sayBusy();
    void showTime(std::uint32_t tenths);
    void onWorkerState(WorkerEvent event, std::uint32_t runNumber);
    void refreshTick();
    std::string monitoringText() const;
    std::string answeringText() const;
    void playConversation();
    bool currentIsConversation() const;
    void onRunEndedUnannounced();
    void showPortFailure(const Failure& failure, bool recording);
    void onSliderScroll(HWND bar);
    void showRecordingLength(const std::string& path);
    void setSliderLength(std::uint32_t duration);
    void showSliderAt(std::uint32_t tenths);
    std::uint32_t sliderTenths() const;

    // The data view below the transport controls (MainDialogDataView.cpp)
    void initDataView();
    void onViewData();
    void showDataView(bool shown);
    void layoutDataView();
    void reloadDataView();
    void closeDataView();
    void dataViewTick();
    bool onDataViewNotify(const NMHDR& header);
    void onDataViewDoubleClick(int row);
    void limitDataViewSize(MINMAXINFO& limits) const;
    WorkerJob jobFor(const std::string& path, std::uint32_t startPosition);
    void workerStateChanged(WorkerEvent event,
                            std::uint32_t runNumber) override;  // worker's thread

    Profile& profile_;
    HICON icon_ = nullptr;
    bool showAllowed_ = false;
    bool initialised_ = false;
    TrayIcon tray_;
    DebugTrace debugTrace_;
    ErrorBoxReporter errors_;
    std::string workingFilePath_;
    std::string currentFilePath_;  // empty: no file
    // The working file holds a recording made since the last Save as, so it is the current file:
    // a command that would drop it asks first.
    bool unsavedRecording_ = false;
    // The working file holds a conversation (both directions) rather than a serial file.
    bool workingFileIsConversation_ = false;
    DeviceSettings deviceSettings_;
    std::string devicePort_;  // empty: none, so Record records one port
    bool reconnect_ = true;   // a serial file's recording and playback outlive an unplugging
    SharedState state_;
    WorkerRunner runner_;  // after the state: it stops and awaits the worker first
    // The recording run whose end shows the recording's length (0: none), and the file it writes.
    std::uint32_t recordingRunNumber_ = 0;
    std::string recordingRunPath_;
    // The recording run sits between a program and its device and writes a conversation file.
    bool monitoringRun_ = false;
    // Play answers for a conversation's device (else plays its bytes on schedule); and whether
    // the playback run now going is such an answering run.
    bool answersConversations_ = true;
    bool answersWithModbus_ = true;  // a Modbus recording also answers as its learned device
    std::string answeringRules_;     // the rules file a run answers with, for the status line
    bool answeringRun_ = false;
    bool conversationPlayRun_ = false;  // the playback run plays a conversation: no Pause
    // The ports of the current conversation when it has several (else none), and the one that
    // Play plays or answers.
    std::vector<ConversationInterface> filePorts_;
    std::uint32_t playedPort_ = 0;
    // The playback run whose end may report a file that could not be read (0: none).
    std::uint32_t playingRunNumber_ = 0;
    TransportMode shownMode_ = TransportMode::Stopped;  // what the buttons show
    RecentFiles recentFiles_;
    UINT menuItemStateMessage_ = 0;
    ConversionRun* conversion_ = nullptr;  // the export or import running, if any

    StatusLine statusLine_;
    ProgressBar activityMeter_;
    Static timeDisplay_;
    Trackbar slider_;
    std::uint32_t sliderDuration_ = 0;  // tenths; the slider may count in larger steps
    ListView dataView_;
    DataViewModel dataModel_;
    bool dataViewShown_ = false;
    SIZE compactClient_ = {};  // the client area without the view, as the template makes it
    int statusLineHeight_ = 0;
    int statusLineBottomGap_ = 0;
    int dataViewTop_ = 0;
    std::uint64_t dataViewRows_ = 0;  // the rows the list was last told of
    std::uint64_t followedRow_ = ~std::uint64_t{0};
    bool followingPlayback_ = false;
    std::uint64_t playedPosition_ = 0;  // at the last tick of the playback followed
    Button stopButton_, rewindButton_, playButton_, pauseButton_, forwardButton_, recordButton_;
};
