#include "app/WorkingFileClaims.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <type_traits>
#include <utility>

#include "app/RecoveryPolicy.h"
#include "engine/Profile.h"

namespace {

// The section keeps the name it has always had in users' settings.
constexpr const char* kClaimsSection = "Sessions";

using ProcessHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)>;

std::uint64_t creationTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return std::uint64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime;
}

// A process id alone may since have been given to another process; with its start time it
// names one process.
std::string thisProcessStamp() {
    return std::to_string(GetCurrentProcessId()) + " " +
           std::to_string(creationTime(GetCurrentProcess()));
}

bool stillRunning(const std::string& processStamp) {
    unsigned long id = 0;
    unsigned long long started = 0;
    if (std::sscanf(processStamp.c_str(), "%lu %llu", &id, &started) != 2) return false;
    ProcessHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id), &CloseHandle);
    // A process we may not look at is not ours to judge: its file stays.
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE &&
           creationTime(process.get()) == started;
}

// -1 when the file is missing.
long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return static_cast<long long>(std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow);
}

// Kernel object names may not hold a backslash, and a path may be longer than a name: the
// mutex is named by a 64-bit FNV-1a hash of the path. Two paths sharing a hash only make one
// of them wait for the next start.
std::string offerMutexName(const std::string& path) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : path) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    char name[48];
    std::snprintf(name, sizeof name, "Veltrane.LeftBehind.%016llx",
                  static_cast<unsigned long long>(hash));
    return name;
}

ClaimNote noteOf(Profile& profile, const std::string& path) {
    return {path, stillRunning(profile.readString(kClaimsSection, path, "")), fileSize(path)};
}

bool isLeftBehind(Profile& profile, const std::string& path) {
    bool claimed = false;
    for (const std::string& name : profile.valueNames(kClaimsSection)) claimed |= name == path;
    return claimed && isLeftBehindRecording(noteOf(profile, path));
}

}  // namespace

RecordingOffer::~RecordingOffer() { release(); }

RecordingOffer::RecordingOffer(RecordingOffer&& other) noexcept
    : mutex_(other.mutex_), owned_(other.owned_) {
    other.mutex_ = nullptr;
    other.owned_ = false;
}

RecordingOffer& RecordingOffer::operator=(RecordingOffer&& other) noexcept {
    if (this != &other) {
        release();
        mutex_ = other.mutex_;
        owned_ = other.owned_;
        other.mutex_ = nullptr;
        other.owned_ = false;
    }
    return *this;
}

void RecordingOffer::release() {
    if (owned_) ReleaseMutex(mutex_);
    if (mutex_ != nullptr) CloseHandle(mutex_);
    mutex_ = nullptr;
    owned_ = false;
}

// The listing came before the mutex: once it is ours, the claim is looked at again, since
// another copy may have answered for the file in between.
RecordingOffer takeOverLeftBehindRecording(Profile& profile, const std::string& path) {
    RecordingOffer offer(CreateMutexA(nullptr, FALSE, offerMutexName(path).c_str()));
    if (offer.mutex_ == nullptr) return offer;
    const DWORD waited = WaitForSingleObject(offer.mutex_, 0);
    // Abandoned: the copy that offered it was killed while it asked.
    offer.owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (offer.owned_ && !isLeftBehind(profile, path)) offer.release();
    return offer;
}

void claimWorkingFile(Profile& profile, const std::string& path) {
    profile.writeString(kClaimsSection, path, thisProcessStamp());
}

void releaseWorkingFile(Profile& profile, const std::string& path) {
    profile.removeValue(kClaimsSection, path);
}

std::vector<std::string> leftBehindRecordings(Profile& profile) {
    std::vector<ClaimNote> notes;
    for (const std::string& path : profile.valueNames(kClaimsSection)) {
        notes.push_back(noteOf(profile, path));
    }
    RecoveryDecision decision = decideRecovery(notes);
    for (const std::string& path : decision.remove) DeleteFileA(path.c_str());
    for (const std::string& path : decision.drop) releaseWorkingFile(profile, path);
    return std::move(decision.offer);
}
