// Starts one program and watches it from outside, through the X server and /proc:
//   - the time from exec (posix_spawn) to the drawn window: the X DAMAGE extension reports
//     every rectangle a program draws into a window; once the drawings have covered the whole
//     top-level window, the probe looks at its pixels after each further drawing, and the
//     window counts as drawn at the first drawing after which it already showed the picture
//     it settles on;
//   - then, after a settling pause, the CPU time, wake-ups (context switches of all threads)
//     and redraws over an idle period; optionally again after giving the window the input
//     focus, as a window manager does; and the peak resident memory (VmHWM).
// Prints one line of key=value figures and stops the program (SIGTERM).

#include "clock.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using bench::Clock;
using bench::msBetween;

struct Options {
    double settleSeconds = 1.0;
    double idleSeconds = 5.0;
    double focusedIdleSeconds = 0.0;
    double timeoutSeconds = 20.0;
    double quietSeconds = 0.3;
    const char* log = "program.log";
    bool trace = false;
    std::vector<char*> command;
};

[[noreturn]] void usage()
{
    std::fputs("usage: pwm5-startup-probe [--trace] [--quiet S] [--settle S] [--idle S]"
               " [--focused-idle S]"
               " [--timeout S] [--log FILE] -- PROGRAM [ARGS...]\n",
        stderr);
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--trace") {
            o.trace = true;
            continue;
        }
        if (i + 1 >= argc)
            usage();
        if (a == "--settle")
            o.settleSeconds = std::atof(argv[++i]);
        else if (a == "--idle")
            o.idleSeconds = std::atof(argv[++i]);
        else if (a == "--focused-idle")
            o.focusedIdleSeconds = std::atof(argv[++i]);
        else if (a == "--quiet")
            o.quietSeconds = std::atof(argv[++i]);
        else if (a == "--timeout")
            o.timeoutSeconds = std::atof(argv[++i]);
        else if (a == "--log")
            o.log = argv[++i];
        else
            usage();
    }
    for (; i < argc; ++i)
        o.command.push_back(argv[i]);
    if (o.command.empty())
        usage();
    o.command.push_back(nullptr);
    return o;
}

// What the kernel counts for all threads of the process at one moment.
struct Usage {
    long long cpuNs = 0; // time on a CPU, from each thread's schedstat
    long long switches = 0; // voluntary + involuntary context switches: each one a wake-up
    int threads = 0;
};

long long statusField(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size()
            && line[key.size()] == ':')
            return std::atoll(line.c_str() + key.size() + 1);
    return -1;
}

Usage usageOf(pid_t pid)
{
    Usage u;
    const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(taskDir.c_str());
    if (!dir)
        return u;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = taskDir + "/" + entry->d_name;
        std::ifstream schedstat(task + "/schedstat");
        long long ns = 0;
        schedstat >> ns;
        u.cpuNs += ns;
        u.switches += statusField(task + "/status", "voluntary_ctxt_switches")
            + statusField(task + "/status", "nonvoluntary_ctxt_switches");
        ++u.threads;
    }
    ::closedir(dir);
    return u;
}

// Rectangles drawn into one window, until they cover all of it.
class Coverage {
public:
    bool add(const xcb_rectangle_t& area, const xcb_rectangle_t& geometry)
    {
        if (geometry.width != width_ || geometry.height != height_) {
            width_ = geometry.width;
            height_ = geometry.height;
            covered_.assign(static_cast<std::size_t>(width_) * height_, false);
            count_ = 0;
        }
        const int x1 = std::min<int>(area.x + area.width, width_);
        const int y1 = std::min<int>(area.y + area.height, height_);
        for (int y = std::max<int>(area.y, 0); y < y1; ++y)
            for (int x = std::max<int>(area.x, 0); x < x1; ++x) {
                const auto i = static_cast<std::size_t>(y) * width_ + static_cast<std::size_t>(x);
                if (!covered_[i]) {
                    covered_[i] = true;
                    ++count_;
                }
            }
        return count_ == covered_.size();
    }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_ = 0, height_ = 0;
    std::vector<bool> covered_;
    std::size_t count_ = 0;
};

// The window's pixels as the X server holds them, reduced to a hash and a count of distinct
// values: a drawn panel has hundreds, a window filled with one colour has one.
struct Picture {
    std::uint64_t hash = 0;
    int colours = -1;
};

Picture grab(xcb_connection_t* c, xcb_window_t window, int width, int height)
{
    auto* reply = xcb_get_image_reply(c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<std::uint16_t>(width),
            static_cast<std::uint16_t>(height), ~0u),
        nullptr);
    if (!reply)
        return {};
    const auto* data = xcb_get_image_data(reply);
    const int length = xcb_get_image_data_length(reply);
    Picture picture { 1469598103934665603ull, 0 };
    std::set<std::uint32_t> seen;
    for (int i = 0; i + 3 < length; i += 4) {
        std::uint32_t v;
        std::memcpy(&v, data + i, sizeof v);
        v &= 0xFFFFFFu;
        seen.insert(v);
        picture.hash = (picture.hash ^ v) * 1099511628211ull;
    }
    std::free(reply);
    picture.colours = static_cast<int>(seen.size());
    return picture;
}

Clock::duration seconds(double s)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// The X server, with the DAMAGE extension the probe reads.
struct XServer {
    xcb_connection_t* c = nullptr;
    const xcb_query_extension_reply_t* damage = nullptr;
    xcb_window_t root = 0;

    bool isDamage(const xcb_generic_event_t* event) const
    {
        return (event->response_type & 0x7F) == damage->first_event + XCB_DAMAGE_NOTIFY;
    }
};

// Connects to the X server, which must have DAMAGE, and watches the windows created on its
// root; false, with a message, when it cannot.
bool connectToServer(XServer& server)
{
    // A busy server now and then refuses a connection; a second try gets through.
    xcb_connection_t*& c = server.c;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (c)
            xcb_disconnect(c);
        c = xcb_connect(nullptr, nullptr);
        if (!xcb_connection_has_error(c))
            break;
        ::usleep(100'000);
    }
    if (const int error = xcb_connection_has_error(c)) {
        std::fprintf(
            stderr, "pwm5-startup-probe: cannot connect to the X server (error %d)\n", error);
        return false;
    }
    auto* version = xcb_damage_query_version_reply(c,
        xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION), nullptr);
    server.damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!version || !server.damage || !server.damage->present) {
        std::fputs("pwm5-startup-probe: the X server has no DAMAGE extension\n", stderr);
        return false;
    }
    std::free(version);
    server.root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const std::uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, server.root, XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(c);
    return true;
}

// Starts the program, its output in the log, and notes when; 0, with a message, when it
// cannot.
pid_t spawn(const Options& options, Clock::time_point& exec)
{
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(
        &files, STDOUT_FILENO, options.log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    exec = Clock::now();
    const int rc
        = posix_spawn(&pid, options.command[0], &files, nullptr, options.command.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (rc != 0) {
        std::fprintf(stderr, "pwm5-startup-probe: cannot start %s: %s\n", options.command[0],
            std::strerror(rc));
        return 0;
    }
    return pid;
}

// What the probe saw of the program's windows up to the drawn one. Every top-level window
// gets a damage watch before it can be mapped. Once the rectangles drawn into one of them
// have covered it, each further drawing is followed by a look at its pixels.
struct Watch {
    struct Look {
        double ms;
        Picture picture;
    };
    std::map<xcb_window_t, Coverage> windows;
    xcb_window_t window = 0; // the first one covered
    std::vector<Look> looks;
    double mappedMs = -1, firstDamageMs = -1;
    Clock::time_point lastDamage;
};

// One event on the way to the drawn window.
void take(const XServer& server, const xcb_generic_event_t* event, Clock::time_point exec,
    Clock::time_point now, bool trace, Watch& watch)
{
    xcb_connection_t* c = server.c;
    const std::uint8_t type = event->response_type & 0x7F;
    if (type == XCB_CREATE_NOTIFY) {
        const auto* e = reinterpret_cast<const xcb_create_notify_event_t*>(event);
        if (e->parent == server.root) {
            xcb_damage_create(
                c, xcb_generate_id(c), e->window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
            xcb_flush(c);
            watch.windows[e->window];
        }
    } else if (type == XCB_MAP_NOTIFY) {
        const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
        if (watch.mappedMs < 0 && watch.windows.count(e->window))
            watch.mappedMs = msBetween(exec, now);
        if (trace)
            std::fprintf(stderr, "%8.2f ms map 0x%x\n", msBetween(exec, now), e->window);
    } else if (server.isDamage(event)) {
        const auto* e = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
        auto found = watch.windows.find(e->drawable);
        if (found == watch.windows.end() || (watch.window && watch.window != e->drawable))
            return;
        if (watch.firstDamageMs < 0)
            watch.firstDamageMs = msBetween(exec, now);
        if (found->second.add(e->area, e->geometry)) {
            watch.window = e->drawable;
            watch.lastDamage = now;
            watch.looks.push_back({ msBetween(exec, now),
                grab(c, watch.window, found->second.width(), found->second.height()) });
        }
        if (trace)
            std::fprintf(stderr, "%8.2f ms damage %d,%d %dx%d of %dx%d%s\n", msBetween(exec, now),
                e->area.x, e->area.y, e->area.width, e->area.height, e->geometry.width,
                e->geometry.height,
                watch.window
                    ? (", colours " + std::to_string(watch.looks.back().picture.colours)).c_str()
                    : "");
    }
}

// Watches until the covered window has been quiet for a while, or the time is up; false, with
// a message, when the program ended or the server went first.
bool watchUntilQuiet(
    const XServer& server, pid_t pid, Clock::time_point exec, const Options& options, Watch& watch)
{
    const Clock::time_point deadline = exec + seconds(options.timeoutSeconds);
    pollfd pfd { xcb_get_file_descriptor(server.c), POLLIN, 0 };
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline
            || (watch.window && now - watch.lastDamage >= seconds(options.quietSeconds)))
            return true;
        xcb_generic_event_t* event = xcb_poll_for_event(server.c);
        if (!event) {
            int ended = 0;
            if (xcb_connection_has_error(server.c) || ::waitpid(pid, &ended, WNOHANG) == pid) {
                std::fprintf(stderr, "pwm5-startup-probe: %s\n",
                    xcb_connection_has_error(server.c) ? "lost the X server" : "the program ended");
                return false;
            }
            ::poll(&pfd, 1, 10);
            continue;
        }
        take(server, event, exec, now, options.trace, watch);
        std::free(event);
    }
}

// When the window was drawn: the first look that already showed the picture it settled on
// (Qt sometimes flushes a plain, one-colour window before the first real paint); -1 when none
// did.
double drawnMs(const Watch& watch, const Picture& settled)
{
    for (const Watch::Look& look : watch.looks)
        if (look.picture.hash == settled.hash)
            return look.ms;
    return -1;
}

// Waits for the time, and counts the drawings into the window meanwhile.
int drawingsWithin(const XServer& server, xcb_window_t window, double s)
{
    pollfd pfd { xcb_get_file_descriptor(server.c), POLLIN, 0 };
    int drawings = 0;
    const Clock::time_point end = Clock::now() + seconds(s);
    for (Clock::time_point now; (now = Clock::now()) < end;) {
        if (xcb_generic_event_t* event = xcb_poll_for_event(server.c)) {
            const auto* e = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            if (server.isDamage(event) && e->drawable == window)
                ++drawings;
            std::free(event);
            continue;
        }
        if (xcb_connection_has_error(server.c))
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        ::poll(&pfd, 1, static_cast<int>(left.count()) + 1);
    }
    return drawings;
}

// One idle period after a settling pause: the process's usage before and after, and the
// drawings between.
struct Idle {
    Usage before, after;
    int drawings = 0;
};

Idle idleFor(
    const XServer& server, pid_t pid, xcb_window_t window, double settleSeconds, double idleSeconds)
{
    Idle idle;
    drawingsWithin(server, window, settleSeconds);
    idle.before = usageOf(pid);
    idle.drawings = drawingsWithin(server, window, idleSeconds);
    idle.after = usageOf(pid);
    return idle;
}

double cpuMs(const Idle& idle)
{
    return static_cast<double>(idle.after.cpuNs - idle.before.cpuNs) / 1e6;
}

void printFigures(double drawn, const Watch& watch, const Coverage& window, const Picture& settled,
    long long hwmKb, const Idle& idle, const Idle& focused, bool alive)
{
    std::printf("drawn_ms=%.2f first_damage_ms=%.2f mapped_ms=%.2f looks=%zu size=%dx%d "
                "colours=%d hwm_kb=%lld idle_cpu_ms=%.3f idle_wakeups=%lld idle_drawings=%d "
                "focused_cpu_ms=%.3f focused_wakeups=%lld focused_drawings=%d threads=%d "
                "alive=%d\n",
        drawn, watch.firstDamageMs, watch.mappedMs, watch.looks.size(), window.width(),
        window.height(), settled.colours, hwmKb, cpuMs(idle),
        idle.after.switches - idle.before.switches, idle.drawings, cpuMs(focused),
        focused.after.switches - focused.before.switches, focused.drawings, idle.after.threads,
        alive ? 1 : 0);
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    XServer server;
    if (!connectToServer(server))
        return 1;
    Clock::time_point exec;
    const pid_t pid = spawn(options, exec);
    if (pid == 0)
        return 1;

    Watch watch;
    if (!watchUntilQuiet(server, pid, exec, options, watch))
        return 1;
    Coverage& window = watch.windows[watch.window];
    const Picture settled
        = watch.window ? grab(server.c, watch.window, window.width(), window.height()) : Picture {};
    const double drawn = drawnMs(watch, settled);
    int status = 0;
    if (drawn < 0) {
        std::fprintf(stderr, "pwm5-startup-probe: %s drew no settled window within %.0f s\n",
            options.command[0], options.timeoutSeconds);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return 1;
    }

    // Idle: nothing to do but wait. Then as on a desktop, where the window manager gives the
    // new window the input focus.
    const Idle idle
        = idleFor(server, pid, watch.window, options.settleSeconds, options.idleSeconds);
    Idle focused;
    if (options.focusedIdleSeconds > 0) {
        xcb_set_input_focus(server.c, XCB_INPUT_FOCUS_POINTER_ROOT, watch.window, XCB_CURRENT_TIME);
        xcb_flush(server.c);
        focused
            = idleFor(server, pid, watch.window, options.settleSeconds, options.focusedIdleSeconds);
    }
    const long long hwmKb = statusField("/proc/" + std::to_string(pid) + "/status", "VmHWM");
    const bool alive = ::waitpid(pid, &status, WNOHANG) == 0;
    printFigures(drawn, watch, window, settled, hwmKb, idle, focused, alive);

    if (!alive)
        std::fprintf(stderr, "pwm5-startup-probe: %s ended during the idle period (status %d)\n",
            options.command[0], status);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
    xcb_disconnect(server.c);
    return alive ? 0 : 1;
}
