/* Swipe readers through the C interface of libstrix: lists the readers, opens one by handle,
   prints each swipe's fields (account number masked) and runs one EMV transaction with
   extended commands.

   Without TESSERA_SIM_HID in the environment the demo starts the simulator (tessera-sim, next
   to it in build/bin) with one simulated swipe reader, takes the simulator's settings into its
   environment and starts itself again, so that the hidapi stand-in is loaded in place of the
   real library. The simulator is told over a pipe when to swipe cards. */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "strix.h"

/* ---- events from the library's callback threads, handed to the main thread ---- */

#define MAX_EVENT 4096
struct event {
    char kind[16];
    unsigned int id;
    char text[MAX_EVENT];
};
static struct event queue[64];
static int queued = 0;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t ready = PTHREAD_COND_INITIALIZER;

static void post(const char* kind, unsigned int id, const char* text) {
    pthread_mutex_lock(&lock);
    if (queued < (int)(sizeof queue / sizeof queue[0])) {
        struct event* e = &queue[queued++];
        snprintf(e->kind, sizeof e->kind, "%s", kind);
        e->id = id;
        snprintf(e->text, sizeof e->text, "%s", text ? text : "");
    }
    pthread_cond_broadcast(&ready);
    pthread_mutex_unlock(&lock);
}

/* Waits up to `seconds` for the next event of that kind (and id, unless id is 0). */
static int take(const char* kind, unsigned int id, struct event* out, int seconds) {
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += seconds;
    pthread_mutex_lock(&lock);
    for (;;) {
        for (int i = 0; i < queued; ++i) {
            if (strcmp(queue[i].kind, kind) == 0 && (id == 0 || queue[i].id == id)) {
                *out = queue[i];
                memmove(&queue[i], &queue[i + 1], (size_t)(queued - i - 1) * sizeof queue[0]);
                --queued;
                pthread_mutex_unlock(&lock);
                return 1;
            }
        }
        if (pthread_cond_timedwait(&ready, &lock, &until) == ETIMEDOUT) {
            pthread_mutex_unlock(&lock);
            return 0;
        }
    }
}

static void onCard(unsigned long h, void* obj, const char* data) {
    (void)h;
    (void)obj;
    (void)data; /* the demo reads the fields from the record, never the raw line */
    post("card", 0, "");
}
static void onNotification(unsigned long h, void* obj, unsigned int id, const char* hex) {
    (void)h;
    (void)obj;
    post("notification", id, hex);
}
static void onState(unsigned long h, void* obj, long state) {
    (void)h;
    (void)obj;
    post("state", 0, state ? "connected" : "disconnected");
}

/* ---- the simulator ---- */

static FILE* simulator = NULL; /* its standard input */
static pid_t simulatorPid = 0;

static void simulatorCommand(const char* line) {
    if (simulator == NULL) return;
    fprintf(simulator, "%s\n", line);
    fflush(simulator);
}

static void startSimulatorAndRestart(char** argv) {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    exe[n] = 0;
    char sim[PATH_MAX + 32];
    snprintf(sim, sizeof sim, "%.*s/tessera-sim", (int)(strrchr(exe, '/') - exe), exe);
    if (access(sim, X_OK) != 0) return;
    int toSim[2], fromSim[2];
    if (pipe(toSim) != 0 || pipe(fromSim) != 0) return;
    pid_t pid = fork();
    if (pid < 0) return;
    if (pid == 0) {
        dup2(toSim[0], STDIN_FILENO);
        dup2(fromSim[1], STDOUT_FILENO);
        close(toSim[1]);
        close(fromSim[0]);
        execl(sim, sim, "--usb", "0", "--tcp", "0", "--serial", "0", "--swipe", "1", (char*)NULL);
        _exit(127);
    }
    close(toSim[0]);
    close(fromSim[1]);
    FILE* out = fdopen(fromSim[0], "r");
    char line[1024];
    int settled = 0;
    while (out != NULL && fgets(line, sizeof line, out) != NULL) {
        line[strcspn(line, "\n")] = 0;
        if (strncmp(line, "export TESSERA_SIM_HID=", 23) == 0) {
            setenv("TESSERA_SIM_HID", line + 23, 1);
        } else if (strncmp(line, "export LD_LIBRARY_PATH=", 23) == 0) {
            char* end = strstr(line, "${");
            if (end) *end = 0;
            const char* old = getenv("LD_LIBRARY_PATH");
            char path[4096];
            snprintf(path, sizeof path, "%s%s%s", line + 23, old && *old ? ":" : "",
                     old ? old : "");
            setenv("LD_LIBRARY_PATH", path, 1);
        } else if (strcmp(line, "ready") == 0) {
            settled = 1;
            break;
        }
    }
    if (!settled) return;
    /* The simulator's answers are not needed any more; keep its input for commands. */
    char value[32];
    snprintf(value, sizeof value, "%d", toSim[1]);
    setenv("DEMO_SIM_FD", value, 1);
    snprintf(value, sizeof value, "%ld", (long)pid);
    setenv("DEMO_SIM_PID", value, 1);
    execv(exe, argv);
}

static void stopSimulator(void) {
    if (simulator == NULL) return;
    simulatorCommand("quit");
    fclose(simulator);
    simulator = NULL;
    if (simulatorPid > 0) waitpid(simulatorPid, NULL, 0);
}

/* ---- the demonstration ---- */

static void masked(const char* pan, char* out, size_t size) {
    size_t n = strlen(pan);
    if (n <= 8) {
        snprintf(out, size, "%s", n ? "****" : "");
        return;
    }
    snprintf(out, size, "%.4s%.*s%s", pan, (int)(n - 8), "************************", pan + n - 4);
}

static void hexToText(const char* hex, char* out, size_t size) {
    size_t i = 0;
    for (; hex[0] && hex[1] && i + 1 < size; hex += 2) {
        unsigned v;
        if (sscanf(hex, "%2x", &v) != 1) break;
        out[i++] = (v >= 32 && v < 127) ? (char)v : '.';
    }
    out[i] = 0;
}

static void printSwipe(unsigned long handle) {
    VLMSRDATA r;
    if (GetCardDataStructureEx(handle, &r) != 0) return;
    char pan[64];
    masked(r.m_szPAN, pan, sizeof pan);
    printf("  card type %s, account %s, holder %s / %s, expires %s/%s\n", r.m_szCardEncodeType, pan,
           r.m_szLastName, r.m_szFirstName, r.m_szMonth, r.m_szYear);
    printf("  track lengths %ld/%ld/%ld bytes (encrypted), KSN %s, battery %ld%%\n",
           r.m_dwTrack1Length, r.m_dwTrack2Length, r.m_dwTrack3Length, r.m_szDUKPTKSN,
           r.m_dwBatteryLevel);
}

int main(int argc, char** argv) {
    (void)argc;
    if (getenv("TESSERA_SIM_HID") == NULL && getenv("DEMO_SIM_FD") == NULL) {
        startSimulatorAndRestart(argv);
    }
    if (getenv("DEMO_SIM_FD") != NULL) {
        simulator = fdopen(atoi(getenv("DEMO_SIM_FD")), "w");
        simulatorPid = (pid_t)atol(getenv("DEMO_SIM_PID") ? getenv("DEMO_SIM_PID") : "0");
    }
    signal(SIGPIPE, SIG_IGN);

    const char* list = GetDeviceList();
    printf("swipe readers: %s\n", *list ? list : "(none)");
    if (!*list) {
        stopSimulator();
        return 1;
    }
    char name[512];
    snprintf(name, sizeof name, "%.*s", (int)strcspn(list, ","), list);
    unsigned long handle = OpenDeviceEx(name);
    if (handle == 0) {
        printf("cannot open %s\n", name);
        stopSimulator();
        return 1;
    }
    printf("opened %s (product %04x)\n", name, GetProductIDEx(handle));
    OnDataReceivedEx(handle, onCard, NULL);
    OnNotificationDataEx(handle, onNotification, NULL);
    OnDeviceConnectionStateChangedEx(handle, onState, NULL);

    char text[256];
    hexToText(SendCommandEx(handle, "0003"), text, sizeof text);
    printf("serial number %s, firmware ", text);
    hexToText(SendCommandEx(handle, "0000"), text, sizeof text);
    printf("%s\n", text);

    const char* cards[] = {"iso", "aamva"};
    for (int i = 0; i < 2; ++i) {
        char cmd[64];
        snprintf(cmd, sizeof cmd, "swipe swipe0 %s", cards[i]);
        simulatorCommand(cmd);
        printf("swipe a card...\n");
        struct event e;
        if (!take("card", 0, &e, 30)) {
            printf("  no swipe\n");
            continue;
        }
        printf("swiped:\n");
        printSwipe(handle);
    }

    /* One EMV transaction: start (extended command 0300 with the 19-byte record), follow the
       notifications, answer the authorisation request, read the result. */
    const char* record =
        "3C0200"
        "000000001999"
        "00"
        "000000000000"
        "0840"
        "01";
    char start[128];
    snprintf(start, sizeof start, "0300:%s", record);
    SendCommandEx(handle, start);
    printf("transaction of 19.99 started (result %d)\n", GetResultCodeEx(handle));
    int done = 0;
    while (!done) {
        struct event e;
        if (!take("notification", 0, &e, 15)) {
            printf("  no answer from the reader\n");
            break;
        }
        switch (e.id) {
            case 0x0300:
                printf("  status %s\n", e.text);
                break;
            case 0x0301:
                hexToText(e.text, text, sizeof text);
                printf("  reader shows \"%s\"\n", text);
                break;
            case 0x0303:
                printf("  authorisation request (%zu bytes); host approves\n", strlen(e.text) / 2);
                SendCommandEx(handle, "0303:8A023030");
                break;
            case 0x0304:
                printf("  result %s: %s\n", e.text,
                       strncmp(e.text, "DFDF1A0100", 10) == 0 ? "approved" : "not approved");
                done = 1;
                break;
            default:
                printf("  notification %04x %s\n", e.id, e.text);
        }
    }
    CloseDeviceEx(handle);
    printf("closed\n");
    stopSimulator();
    return done ? 0 : 1;
}
