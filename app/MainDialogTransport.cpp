// The main window's transport control: the seven commands, the worker-state message, the
// refresh tick and the position slider.
#include <algorithm>
#include <filesystem>

#include "app/AppMessages.h"
#include "app/FailureTexts.h"
#include "app/MainDialog.h"
#include "app/SliderScale.h"
#include "app/TransportRules.h"
#include "engine/SerialFile.h"
#include "engine/TimeDisplay.h"
#include "log/LogSettings.h"
#include "res/resource.h"
#include "workers/AnswerSources.h"
#include "workers/Workers.h"

namespace {
// Shown for a while in the status line when a start or another command is refused because a
// worker is still opening its port or ending.
constexpr const char* kBusyText = "Busy, try again in a moment";

}  // namespace

void MainDialog::onRecord() {
    if (refuseStartWhileRunning()) return;  // before the question: never ask, then do nothing
    // One question at most: an unsaved recording is offered for saving instead of the warning.
    if (unsavedRecording_) {
        if (!askToSaveRecording()) return;
    } else if (!currentFilePath_.empty()) {
        int answer = MessageBoxA(handle(),
                                 "Starting to record will clear existing data in the opened "
                                 "file.\r\nAre you sure you want to continue?",
                                 "Veltrane", MB_YESNO);
        if (answer != IDYES) return;
    }
    // The runner still refuses when a worker started while the question was open (a command
    // posted meanwhile): two never share the state.
    // With a device port set, the window sits between a program and its device and records
    // both directions.
    const bool monitoring = !devicePort_.empty();
    WorkerJob job = jobFor(workingFilePath_, 0);
    job.devicePort = devicePort_;
    job.application = "Veltrane " VELTRANE_VERSION;
    const std::uint32_t runNumber =
        runner_.start(monitoring ? monitorWorker : recordingWorker, job);
    if (runNumber == 0) {
        sayBusy();
        return;
    }
    monitoringRun_ = monitoring;
    workingFileIsConversation_ = monitoring;
    currentFilePath_ = workingFilePath_;
    showPortChoices({});  // the window records one port
    unsavedRecording_ = true;
    recordingRunNumber_ = runNumber;
    recordingRunPath_ = workingFilePath_;
    // Shown again once the worker has made the file afresh (the refresh tick).
    closeDataView();
    // The new recording has no length yet, also when its port then fails to open.
    setSliderLength(0);
    showSliderAt(0);
    showTime(0);
    showTransportState();
}

// A start while a worker runs would be refused by the runner; the user is told so.
bool MainDialog::refuseStartWhileRunning() {
    if (transportIdle(transportFlags())) return false;
    sayBusy();
    return true;
}

void MainDialog::sayBusy() { statusLine_.showPrompt(kBusyText); }

// A run's settings are read as it starts, so a change applies from the next run.
WorkerJob MainDialog::jobFor(const std::string& path, std::uint32_t startPosition) {
    WorkerJob job;
    job.filePath = path;
    job.device = deviceSettings_;
    job.reconnect = reconnect_;
    job.log = loadLogSettings(profile_);
    job.startPosition = startPosition;
    return job;
}

void MainDialog::onPlay() {
    if (refuseStartWhileRunning()) return;  // the position below belongs to the running worker
    if (currentIsConversation()) {
        playConversation();
        return;
    }
    auto duration = loadDuration(currentFilePath_);
    if (!duration) return;
    setSliderLength(*duration);
    const std::uint32_t startPosition = sliderTenths();
    state_.currentPosition.store(startPosition);
    const std::uint32_t runNumber =
        runner_.start(playbackWorker, jobFor(currentFilePath_, startPosition));
    if (runNumber == 0) {
        sayBusy();
        return;
    }
    answeringRun_ = false;
    conversationPlayRun_ = false;
    playingRunNumber_ = runNumber;
    showTransportState();
}

// A conversation plays in the way the Play menu has chosen; answering has no position to
// start from.
void MainDialog::playConversation() {
    const bool answering = answersConversations_;
    WorkerJob job = jobFor(currentFilePath_, answering ? 0 : sliderTenths());
    job.answerWithModbus = answersWithModbus_;
    job.interfaceIndex = playedPort_;
    job.application = "Veltrane " VELTRANE_VERSION;  // names it in the file of the answered port
    const std::uint32_t runNumber =
        runner_.start(answering ? answeringWorker : conversationPlaybackWorker, std::move(job));
    if (runNumber == 0) {
        sayBusy();
        return;
    }
    // The worker answers with the rules file beside the conversation when there is one.
    const std::string rules = rulesFileBeside(currentFilePath_);
    std::error_code error;
    answeringRules_ = answering && std::filesystem::is_regular_file(rules, error)
                          ? std::filesystem::path(rules).filename().string()
                          : std::string();
    answeringRun_ = answering;
    conversationPlayRun_ = true;
    playingRunNumber_ = runNumber;
    showTransportState();
}

void MainDialog::onPause() {
    // A conversation's requests and answers keep their own time: it has nothing to pause.
    if (!state_.playing.load() || conversationPlayRun_) return;
    state_.paused.store(!state_.paused.load());
    PostMessageA(handle(), kWorkerStateMessage, static_cast<WPARAM>(WorkerEvent::PauseToggled), 0);
}

void MainDialog::onStop() {
    bool wasRecording = state_.recording.load();
    state_.requestStop();
    if (wasRecording) {  // a stopped playback keeps its position
        state_.currentPosition.store(0);
        showSliderAt(0);
    }
    // Busy until the worker has ended. The recording's length is read once the worker has
    // closed the file (its end message), so that its last chunks are counted.
    showTransportState();
}

// A recording with no whole chunk has no length: the window shows 00:00.0.
void MainDialog::showRecordingLength(const std::string& path) {
    const std::uint32_t duration =
        currentIsConversation() ? conversationLength(path) : loadDuration(path).value_or(0);
    setSliderLength(duration);
    showTime(duration);
}

// The slider counts in steps of one or two tenths, chosen by the length. Its ticks are set one
// by one: automatic ones would make the trackbar keep an entry for every step of the range, up
// to 2^31 of them for a damaged file's claimed length.
void MainDialog::setSliderLength(std::uint32_t duration) {
    sliderDuration_ = duration;
    const int maximum = sliderMaximumFor(duration);
    slider_.setRange(0, maximum, false);
    slider_.setTicks(sliderTickPositions(maximum));
}

void MainDialog::showSliderAt(std::uint32_t tenths) {
    slider_.setPosition(sliderPositionOf(tenths, sliderDuration_), true);
}

std::uint32_t MainDialog::sliderTenths() const {
    return tenthsAtSlider(slider_.position(), sliderDuration_);
}

void MainDialog::onFastForward() {
    state_.currentPosition.store(tenthsAtSlider(slider_.rangeMaximum(), sliderDuration_));
    showSliderAt(state_.currentPosition.load());
    showTime(state_.currentPosition.load());
}

void MainDialog::onFastRewind() {
    state_.currentPosition.store(0);
    showSliderAt(0);
    showTime(0);
}

void MainDialog::onNew() {
    if (!readyToReplaceFile()) return;
    clearWorkingFile();
}

// The working file's recording is gone, and with it the current file.
void MainDialog::clearWorkingFile() {
    DeleteFileA(workingFilePath_.c_str());
    unsavedRecording_ = false;
    showNoFile();
}

void MainDialog::setTransportButtons(TransportMode mode) {
    TransportControls enabled = transportControls(mode, !currentFilePath_.empty());
    recordButton_.enable(enabled.record);
    playButton_.enable(enabled.play);
    pauseButton_.enable(enabled.pause);
    stopButton_.enable(enabled.stop);
    rewindButton_.enable(enabled.rewind);
    forwardButton_.enable(enabled.forward);
    slider_.enable(enabled.slider);
    shownMode_ = mode;
}

void MainDialog::showTime(std::uint32_t tenths) { timeDisplay_.setText(formatTimeDisplay(tenths)); }

// The run's number travels in lParam, so that a report is matched to the run that sent it.
void MainDialog::workerStateChanged(WorkerEvent event, std::uint32_t runNumber) {
    PostMessageA(handle(), kWorkerStateMessage, static_cast<WPARAM>(event),
                 static_cast<LPARAM>(runNumber));
}

void MainDialog::onWorkerState(WorkerEvent event, std::uint32_t runNumber) {
    showTransportState();
    // After a recording, whether stopped or ended by itself, show the length of the file that
    // this run wrote; but only while it is still the current file: after New or Open the slider
    // and the time display belong to another file, or to none.
    if (event == WorkerEvent::Ended && runNumber != 0 && runNumber == recordingRunNumber_) {
        recordingRunNumber_ = 0;
        if (!recordingRunPath_.empty() && recordingRunPath_ == currentFilePath_)
            showRecordingLength(recordingRunPath_);
        // The worker set its failure before it announced its end.
        const Failure failure = state_.failureOf(runNumber);
        if (const std::string text = runFileFailureText(failure, true); !text.empty())
            errors_.show(text);
        showPortFailure(failure, true);  // the device went away
    }
    // A playback that a read error ended is told apart from one that played to the end.
    if (event == WorkerEvent::Ended && runNumber != 0 && runNumber == playingRunNumber_) {
        playingRunNumber_ = 0;
        const std::string text = runFileFailureText(state_.failureOf(runNumber), false);
        if (!text.empty()) errors_.show(text);
    }
}

// The buttons and the state word follow the shared flags and the runner; the state word stays
// while the program is busy.
void MainDialog::showTransportState() {
    const TransportFlags flags = transportFlags();
    if (flags.recording) {
        if (shownMode_ != TransportMode::Recording) {
            setTransportButtons(TransportMode::Recording);
            statusLine_.setText(monitoringRun_ ? monitoringText() : "Recording");
        }
    } else if (flags.playing) {
        statusLine_.setText(answeringRun_          ? answeringText()
                            : state_.paused.load() ? "Paused"
                                                   : "Playing");
        if (shownMode_ != TransportMode::Playing) setTransportButtons(TransportMode::Playing);
    } else if (flags.busy) {
        setTransportButtons(TransportMode::Busy);
    } else {
        setTransportButtons(TransportMode::Stopped);
        statusLine_.setText("Stopped");
    }
}

// Callers forget the run's number first: the box's modal loop goes on ticking, and the failure
// is told once.
void MainDialog::showPortFailure(const Failure& failure, bool recording) {
    const PortFailureWords words = portFailureWords(failure, recording);
    if (words.boxText.empty()) return;
    statusLine_.setText(words.statusText);
    errors_.show(words.boxText);
}

// A worker that could not open its port or file, or set the port's timeouts, ends without
// announcing it. The latest run is the one that ended so: an earlier run's end may still be on
// its way in a message.
void MainDialog::onRunEndedUnannounced() {
    const std::uint32_t runNumber = std::max(recordingRunNumber_, playingRunNumber_);
    const bool recording = runNumber == recordingRunNumber_;
    (recording ? recordingRunNumber_ : playingRunNumber_) = 0;
    showTransportState();
    const Failure failure = state_.failureOf(runNumber);
    // A conversation's file is written as its run starts, so a full disk may end it here.
    if (const std::string text = runFileFailureText(failure, recording); !text.empty())
        errors_.show(text);
    showPortFailure(failure, recording);
}

void MainDialog::refreshTick() {
    // A worker that fails to open its port or file ends without a report: its end shows here.
    if (shownMode_ == TransportMode::Busy && !transportFlags().busy) showTransportState();
    if ((recordingRunNumber_ != 0 || playingRunNumber_ != 0) && !runner_.isRunning() &&
        !state_.endNotified()) {
        onRunEndedUnannounced();
    }
    std::int32_t level = state_.activityLevel.load();
    if (level > 0) {
        level = level > 10 ? level - 10 : 0;
        state_.activityLevel.store(level);
        activityMeter_.setPosition(level);
    }
    if (state_.playing.load() && !slider_.isEnabled()) {
        showSliderAt(state_.currentPosition.load());
        showTime(state_.currentPosition.load());
    }
    if (state_.playing.load() && answeringRun_ && statusLine_.permanentText() != answeringText())
        statusLine_.setText(answeringText());
    if (state_.recording.load()) {
        showTime(state_.currentPosition.load());
        if (monitoringRun_ && statusLine_.permanentText() != monitoringText())
            statusLine_.setText(monitoringText());
    }
    dataViewTick();
}

std::string MainDialog::answeringText() const {
    return answeringStatusText(state_.requestsAnswered.load(), state_.requestsUnknown.load(),
                               answeringRules_);
}

std::string MainDialog::monitoringText() const {
    return monitoringStatusText(state_.monitorCounts.hostBytes.load(),
                                state_.monitorCounts.deviceBytes.load());
}

void MainDialog::onSliderScroll(HWND bar) {
    if (bar == slider_.handle()) showTime(sliderTenths());
}
