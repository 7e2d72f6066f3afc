// A small sysfs and /dev/input in a temporary folder.
#include "fake_sysfs.h"

#include <linux/input.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "fake_clock.h"
#include "timing/timing.h"

FakeEventClock fakeEventClock;
std::string fakeUnwatchable;

// Adds the watch as the kernel does, but fails as the test arranged.
extern "C" int inotify_add_watch(int fd, const char* path, uint32_t mask) noexcept {
    const std::string watched = path;
    if (!fakeUnwatchable.empty() && watched.size() >= fakeUnwatchable.size() &&
        watched.compare(watched.size() - fakeUnwatchable.size(), fakeUnwatchable.size(), fakeUnwatchable) == 0) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<int>(syscall(SYS_inotify_add_watch, fd, path, mask));
}

const char kMouseKeys[] = "70000 0 0 0 0";  // BTN_LEFT, BTN_RIGHT, BTN_MIDDLE
const char kMouseAxes[] = "903";            // REL_X, REL_Y, REL_WHEEL, REL_WHEEL_HI_RES

namespace {

// Writes a file with the text and a newline, as sysfs ends its values; nothing for empty text.
void WriteValue(const std::filesystem::path& path, const std::string& text) {
    if (!text.empty()) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text << "\n";
    }
}

}  // namespace

std::string MakeFakeRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mousecheck-root-XXXXXX").string();
    const std::string root = mkdtemp(pattern.data());
    std::filesystem::create_directories(root + "/sys/class/input");
    std::filesystem::create_directories(root + "/dev/input");
    return root;
}

void AddFakeDevice(const std::string& root, const FakeEventDevice& device) {
    const std::filesystem::path input = root + "/sys/devices/virtual/input/input" + std::to_string(device.number);
    const std::filesystem::path event = input / ("event" + std::to_string(device.number));
    std::filesystem::create_directories(event);
    std::filesystem::create_directory_symlink(input, event / "device");
    std::filesystem::create_directory_symlink(event, root + "/sys/class/input/event" + std::to_string(device.number));
    WriteValue(input / "name", device.name);
    WriteValue(input / "id/bustype", device.bustype);
    WriteValue(input / "id/vendor", device.vendor);
    WriteValue(input / "id/product", device.product);
    WriteValue(input / "capabilities/key", device.key);
    WriteValue(input / "capabilities/rel", device.rel);
    WriteValue(input / "capabilities/ev", device.ev);
    WriteValue(input / "capabilities/abs", device.abs);
    WriteValue(input / "properties", device.properties);
}

namespace {

// Writes the events to the node, from its start or at its end, stamped with the fake clock.
void WriteEvents(const std::string& root, unsigned number, const std::initializer_list<int>& events,
                 std::ios::openmode mode) {
    const std::vector<input_event> records = FakeEvents(events, events.size() == 0 ? 0 : NowMs());
    std::ofstream(root + "/dev/input/event" + std::to_string(number), std::ios::binary | mode)
        .write(reinterpret_cast<const char*>(records.data()),
               static_cast<std::streamsize>(records.size() * sizeof(input_event)));
}

}  // namespace

std::vector<input_event> FakeEvents(const std::initializer_list<int>& events, int64_t timeMs) {
    const std::vector<int> values = events;
    std::vector<input_event> records;
    for (size_t i = 0; i + 2 < values.size(); i += 3) {
        input_event event{};
        event.input_event_sec = timeMs / 1000;
        event.input_event_usec = timeMs % 1000 * 1000 + 999;  // the milliseconds are truncated
        event.type = static_cast<uint16_t>(values[i]);
        event.code = static_cast<uint16_t>(values[i + 1]);
        event.value = values[i + 2];
        records.push_back(event);
    }
    return records;
}

// Records the call, with the node and its read offset, and says whether the clock was set.
bool SetEventClock(int fd) {
    char link[64];
    char target[4096] = {};
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
    const std::string node = readlink(link, target, sizeof(target) - 1) > 0 ? target : "";
    const size_t digits = node.find_last_not_of("0123456789") + 1;
    fakeEventClock.calls += node.substr(digits) + "@" + std::to_string(lseek(fd, 0, SEEK_CUR)) + " ";
    if (fakeEventClock.opened != nullptr) {
        fakeEventClock.opened();
    }
    return !fakeEventClock.fails;
}

void WriteFakeNode(const std::string& root, unsigned number, const std::initializer_list<int>& events) {
    WriteEvents(root, number, events, std::ios::trunc);
}

void AppendFakeNode(const std::string& root, unsigned number, const std::initializer_list<int>& events) {
    WriteEvents(root, number, events, std::ios::app);
}

void RemoveFakeRoot(const std::string& root) {
    std::filesystem::remove_all(root);
}
