// Starts a program and times, from its exec, what the user notices of its
// start: the window manager taking its window (_NET_CLIENT_LIST gains a
// window whose _NET_WM_PID is the program), its sound-server stream
// appearing, and that stream running (not corked). Then, after a settling
// time, it reads the program's peak resident memory and, over a measuring
// window, the processor time and wake-ups of each of its threads and of any
// other process named on the command line. The program is ended with SIGTERM.
//
//   bench_launch_probe [--sound] [--settle S] [--measure S] [--timeout S]
//                      [--watch NAME=PID]... -- PROGRAM [ARGS...]
//
// Prints "key value" lines: window_ms, stream_ms, sound_ms (with --sound),
// peak_rss_kib, then with --measure one "thread NAME cpu_pct wakeups_per_s"
// line per thread name (threads of one name summed), "total" and one "watch"
// line per watched process. Events are read as they arrive (X events on the
// X connection, stream events through libpulse's subscription): no polling.
#include <fcntl.h>
#include <poll.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <dirent.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

double NowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "bench_launch_probe: %s\n", what);
    std::exit(2);
}

// --- X: the window manager's list of managed windows ----------------------

class WindowWatch {
  public:
    WindowWatch() {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_))
            Die("no X display");
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        clientList_ = Atom("_NET_CLIENT_LIST");
        wmPid_ = Atom("_NET_WM_PID");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        for (xcb_window_t w : Clients())
            known_.insert(w);
    }
    ~WindowWatch() { xcb_disconnect(connection_); }

    int fd() const { return xcb_get_file_descriptor(connection_); }

    // Handles the events that arrived; returns the arrival time of the list
    // change that brought a window of `pid`, or a negative number.
    double Drain(pid_t pid) {
        double found = -1;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const double at = NowMs();
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                reinterpret_cast<xcb_property_notify_event_t*>(event)->atom == clientList_) {
                for (xcb_window_t w : Clients()) {
                    if (known_.insert(w).second && found < 0 && PidOf(w) == pid)
                        found = at;
                }
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection_))
            Die("lost the X display");
        return found;
    }

  private:
    xcb_atom_t Atom(const char* name) {
        auto cookie =
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookie, nullptr);
        if (reply == nullptr)
            Die("cannot intern an atom");
        const xcb_atom_t atom = reply->atom;
        std::free(reply);
        return atom;
    }

    std::vector<uint32_t> Property(xcb_window_t window, xcb_atom_t atom, xcb_atom_t type) {
        auto cookie = xcb_get_property(connection_, 0, window, atom, type, 0, 4096);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(connection_, cookie, nullptr);
        std::vector<uint32_t> values;
        if (reply != nullptr && reply->format == 32) {
            const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return values;
    }

    std::vector<uint32_t> Clients() { return Property(root_, clientList_, XCB_ATOM_WINDOW); }

    pid_t PidOf(xcb_window_t window) {
        const std::vector<uint32_t> pid = Property(window, wmPid_, XCB_ATOM_CARDINAL);
        return pid.empty() ? -1 : static_cast<pid_t>(pid[0]);
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t clientList_ = 0;
    xcb_atom_t wmPid_ = 0;
    std::set<xcb_window_t> known_;
};

// --- PulseAudio: the program's playback stream ----------------------------

// Runs on libpulse's thread; wakes the main loop through an eventfd when a
// time is found. An event's time is taken when it arrives; the stream's
// owner and cork state come from the info asked for at that moment.
class StreamWatch {
  public:
    explicit StreamWatch(int wakeFd) : wakeFd_(wakeFd) {
        loop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "launch probe");
        pa_context_set_state_callback(context_, &StreamWatch::OnState, this);
        pa_context_set_subscribe_callback(context_, &StreamWatch::OnEvent, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            Die("no sound server");
        pa_threaded_mainloop_lock(loop_);
        pa_threaded_mainloop_start(loop_);
        while (pa_context_get_state(context_) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)))
                Die("the sound server refused the connection");
            pa_threaded_mainloop_wait(loop_);
        }
        pa_operation* op = pa_context_subscribe(context_, PA_SUBSCRIPTION_MASK_SINK_INPUT,
                                                &StreamWatch::OnSubscribed, this);
        while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(loop_);
        pa_operation_unref(op);
        pa_threaded_mainloop_unlock(loop_);
    }
    ~StreamWatch() {
        pa_threaded_mainloop_stop(loop_);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_free(loop_);
    }

    void Follow(pid_t pid) { pid_ = pid; }
    double appeared() {
        std::lock_guard lock(mutex_);
        return appeared_;
    }
    double running() {
        std::lock_guard lock(mutex_);
        return running_;
    }

  private:
    struct Query {
        StreamWatch* self;
        double at;
    };

    static void OnState(pa_context*, void* user) {
        pa_threaded_mainloop_signal(static_cast<StreamWatch*>(user)->loop_, 0);
    }
    static void OnSubscribed(pa_context*, int, void* user) {
        pa_threaded_mainloop_signal(static_cast<StreamWatch*>(user)->loop_, 0);
    }
    static void OnEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t index,
                        void* user) {
        const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
        if (kind != PA_SUBSCRIPTION_EVENT_NEW && kind != PA_SUBSCRIPTION_EVENT_CHANGE)
            return;
        auto* query = new Query{static_cast<StreamWatch*>(user), NowMs()};
        if (pa_operation* op =
                pa_context_get_sink_input_info(context, index, &StreamWatch::OnInfo, query))
            pa_operation_unref(op);
        else
            delete query;
    }
    static void OnInfo(pa_context*, const pa_sink_input_info* info, int eol, void* user) {
        auto* query = static_cast<Query*>(user);
        if (eol != 0) {
            delete query;
            return;
        }
        const char* owner = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
        StreamWatch& self = *query->self;
        if (owner == nullptr || std::atoi(owner) != self.pid_.load())
            return;
        {
            std::lock_guard lock(self.mutex_);
            if (self.appeared_ < 0)
                self.appeared_ = query->at;
            if (self.running_ < 0 && info->corked == 0)
                self.running_ = query->at;
        }
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(self.wakeFd_, &one, sizeof one);
    }

    int wakeFd_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::atomic<pid_t> pid_{-1};
    std::mutex mutex_;
    double appeared_ = -1;
    double running_ = -1;
};

// --- /proc: memory, and processor time and wake-ups per thread -------------

long StatusField(const std::string& path, const char* field) {
    std::ifstream in(path);
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    }
    return -1;
}

struct ThreadSample {
    std::string name;
    uint64_t cpuNs = 0;     // on the processor, from the scheduler's accounting
    uint64_t switches = 0;  // voluntary context switches: the thread slept and woke
};

std::map<int, ThreadSample> SampleThreads(pid_t pid) {
    std::map<int, ThreadSample> threads;
    const std::string base = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(base.c_str());
    if (dir == nullptr)
        return threads;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = base + "/" + entry->d_name;
        ThreadSample sample;
        std::ifstream comm(task + "/comm");
        std::getline(comm, sample.name);
        std::ifstream sched(task + "/schedstat");
        sched >> sample.cpuNs;
        sample.switches = static_cast<uint64_t>(
            std::max(0L, StatusField(task + "/status", "voluntary_ctxt_switches")));
        if (!sample.name.empty())
            threads[std::atoi(entry->d_name)] = sample;
    }
    closedir(dir);
    return threads;
}

struct Usage {
    double cpuPct = 0;
    double wakeupsPerS = 0;
    int threads = 0;
};

// Per thread name, over the window between two samples; threads that came
// or went in between count for what they did while both samples saw them.
std::map<std::string, Usage> UsageBetween(const std::map<int, ThreadSample>& before,
                                          const std::map<int, ThreadSample>& after,
                                          double seconds) {
    std::map<std::string, Usage> usage;
    for (const auto& [tid, end] : after) {
        const auto start = before.find(tid);
        if (start == before.end())
            continue;
        Usage& u = usage[end.name];
        u.cpuPct += 100.0 * static_cast<double>(end.cpuNs - start->second.cpuNs) / 1e9 / seconds;
        u.wakeupsPerS += static_cast<double>(end.switches - start->second.switches) / seconds;
        ++u.threads;
    }
    return usage;
}

double ParseSeconds(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || value < 0)
        Die("expected a number of seconds");
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    bool sound = false;
    double settle = 1.0;
    double measure = 0.0;
    double timeout = 20.0;
    std::vector<std::pair<std::string, pid_t>> watched;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sound") {
            sound = true;
        } else if (i + 1 < argc && arg == "--settle") {
            settle = ParseSeconds(argv[++i]);
        } else if (i + 1 < argc && arg == "--measure") {
            measure = ParseSeconds(argv[++i]);
        } else if (i + 1 < argc && arg == "--timeout") {
            timeout = ParseSeconds(argv[++i]);
        } else if (i + 1 < argc && arg == "--watch") {
            const std::string pair = argv[++i];
            const std::size_t eq = pair.rfind('=');
            if (eq == std::string::npos)
                Die("--watch takes NAME=PID");
            watched.emplace_back(pair.substr(0, eq), std::atoi(pair.c_str() + eq + 1));
        } else {
            Die("usage: bench_launch_probe [--sound] [--settle S] [--measure S] [--timeout S] "
                "[--watch NAME=PID]... -- PROGRAM [ARGS...]");
        }
    }
    if (i + 1 >= argc)
        Die("no program given");
    char** program = argv + i + 1;

    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    WindowWatch windows;
    std::unique_ptr<StreamWatch> streams;
    if (sound)
        streams = std::make_unique<StreamWatch>(wakeFd);

    // The child stamps the moment just before its exec and hands it over on
    // a pipe that the exec closes.
    int stamp[2];
    if (pipe2(stamp, O_CLOEXEC) != 0)
        Die("pipe");
    const pid_t pid = fork();
    if (pid < 0)
        Die("fork");
    if (pid == 0) {
        const double at = NowMs();
        [[maybe_unused]] ssize_t n = write(stamp[1], &at, sizeof at);
        execvp(program[0], program);
        _exit(127);
    }
    close(stamp[1]);
    double execAt = 0;
    if (read(stamp[0], &execAt, sizeof execAt) != sizeof execAt)
        Die("the child did not start");
    close(stamp[0]);
    if (streams)
        streams->Follow(pid);

    double windowAt = -1;
    const double deadline = NowMs() + timeout * 1e3;
    bool exited = false;
    for (;;) {
        const double found = windows.Drain(pid);
        if (windowAt < 0 && found >= 0)
            windowAt = found;
        const bool soundDone = !streams || streams->running() >= 0;
        if (windowAt >= 0 && soundDone)
            break;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        const double left = deadline - NowMs();
        if (left <= 0)
            break;
        pollfd fds[2] = {{windows.fd(), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        poll(fds, 2, static_cast<int>(std::min(left, 100.0)) + 1);
        uint64_t drained = 0;
        [[maybe_unused]] ssize_t n = read(wakeFd, &drained, sizeof drained);
    }

    auto print = [&](const char* key, double at) {
        if (at >= 0)
            std::printf("%s %.1f\n", key, at - execAt);
        else
            std::printf("%s none\n", key);
    };
    print("window_ms", windowAt);
    if (streams) {
        print("stream_ms", streams->appeared());
        print("sound_ms", streams->running());
    }
    if (exited) {
        std::printf("exited before it was up\n");
        return 1;
    }

    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    usleep(static_cast<useconds_t>(settle * 1e6));
    if (measure > 0) {
        auto cpuOf = [](pid_t p) {
            uint64_t ns = 0;
            for (const auto& [tid, t] : SampleThreads(p))
                ns += t.cpuNs;
            return ns;
        };
        std::vector<uint64_t> watchedBefore;
        for (const auto& [name, p] : watched)
            watchedBefore.push_back(cpuOf(p));
        const auto before = SampleThreads(pid);
        const double t0 = NowMs();
        usleep(static_cast<useconds_t>(measure * 1e6));
        const auto after = SampleThreads(pid);
        const double seconds = (NowMs() - t0) / 1e3;
        Usage total;
        for (const auto& [name, u] : UsageBetween(before, after, seconds)) {
            std::printf("thread %s %.3f %.1f\n", name.c_str(), u.cpuPct, u.wakeupsPerS);
            total.cpuPct += u.cpuPct;
            total.wakeupsPerS += u.wakeupsPerS;
        }
        std::printf("total %.3f %.1f\n", total.cpuPct, total.wakeupsPerS);
        for (std::size_t w = 0; w < watched.size(); ++w) {
            const double ns = static_cast<double>(cpuOf(watched[w].second) - watchedBefore[w]);
            std::printf("watch %s %.3f\n", watched[w].first.c_str(), 100.0 * ns / 1e9 / seconds);
        }
    }
    std::printf("peak_rss_kib %ld\n", StatusField(status, "VmHWM"));
    std::fflush(stdout);

    kill(pid, SIGTERM);
    for (int waited = 0; waited < 100; ++waited) {
        int st = 0;
        if (waitpid(pid, &st, WNOHANG) == pid)
            return 0;
        usleep(50000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::printf("did not end on SIGTERM\n");
    return 1;
}
