/*
 * A walk through liborbdev's C interface with a message-schema reader:
 *
 *   1. list the readers on the chosen link and open one,
 *   2. install the data and status callbacks,
 *   3. start a transaction and follow the reader's notifications as they arrive,
 *   4. fetch the card data and the authorisation request (ARQC),
 *   5. answer the authorisation request and fetch the batch data once the reader is done,
 *   6. close the reader.
 *
 * Usage: demo_1_orbdev [usb | tcp ADDRESS | serial SETTINGS]
 *   usb                 the first reader on the USB bus (default)
 *   tcp ADDRESS         for example tcp://127.0.0.1:8888
 *   serial SETTINGS     for example PORT=/dev/pts/3,BAUDRATE=115200
 * Without an address, the variables TESSERA_SIM_TCP and TESSERA_SIM_SERIAL are used (the demo
 * script sets them to the simulated reader).
 */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "orbx.h"

/* What the callbacks tell the main thread. */
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
static int messages_seen = 0;
static int authorisation_requested = 0;
static int transaction_over = 0;

/* Notification codes of the transaction (bytes: source, section, event, reason). */
#define CORE_CARD 0x0101u
#define CORE_EMV_STATUS 0x0105u

static const char* describe_notification(unsigned code, unsigned core) {
    unsigned family = code & 0x00FFFFFFu; /* the first byte tells the reader interface */
    if (core == CORE_CARD) {
        switch (code) {
            case 0x10010200u:
                return "card inserted";
            case 0x10010300u:
                return "card removed";
            case 0x08010100u:
                return "card swiped";
            case 0x10010400u:
            case 0x20010400u:
                return "contactless card detected";
        }
        if (family == 0x080202u) return "authorisation request (ARQC) ready";
        if (family == 0x080302u) return "transaction result ready";
        if (family == 0x080201u || family == 0x080301u) return "reader asks the host to fetch data";
    }
    if (core == CORE_EMV_STATUS) {
        switch ((code >> 16) & 0xFF) {
            case 0x01:
                return "transaction timed out";
            case 0x02:
                return "transaction finished";
            case 0x03:
                return "transaction error";
            case 0x04:
                return "transaction completed";
        }
        return "transaction progress";
    }
    return "other event";
}

static void on_data(void* device, const char* hex) {
    (void)device;
    /* The text is valid only during this call: inspect it here (or copy it). */
    if (ORBX_IsNotification(hex, 0, 0)) {
        unsigned code = ORBX_GetNotificationCode(hex);
        unsigned core = (unsigned)ORBX_GetNotificationId(hex);
        printf("  <- notification %04X/%08X: %s\n", core, code, describe_notification(code, core));
        pthread_mutex_lock(&lock);
        if (core == CORE_CARD && (code & 0x00FFFFFFu) == 0x080202u) authorisation_requested = 1;
        /* The reader reports the end: 01 timed out, 03 error, 04 completed. */
        if (core == CORE_EMV_STATUS) {
            unsigned section = (code >> 16) & 0xFF;
            if (section == 0x01 || section == 0x03 || section == 0x04) transaction_over = 1;
        }
        pthread_mutex_unlock(&lock);
    } else if (ORBX_IsFile(hex)) {
        printf("  <- file message, file %08lX\n", ORBX_GetFileID(hex));
    } else {
        printf("  <- response to command %04X, status %08X\n", ORBX_GetResponseCommandID(hex),
               ORBX_GetStatusCode(hex));
    }
    pthread_mutex_lock(&lock);
    ++messages_seen;
    pthread_cond_broadcast(&changed);
    pthread_mutex_unlock(&lock);
}

static void on_status(void* device, int status) {
    (void)device;
    if (status == 1) {
        printf("  (status callback: the reader was closed)\n");
    } else {
        printf("  (status callback: link status %d, the reader is gone)\n", status);
    }
}

/* The value of "Path" in the first entry of a device list such as
 * [{"DSN":"...","Name":"...","Product":"...","PID":"2020","VID":"2f1a","Path":"1:4:0"}]. */
static int first_path(const char* list, char* path, size_t size) {
    const char* key = strstr(list, "\"Path\":\"");
    size_t n = 0;
    if (key == NULL) return 0;
    for (key += 8; *key != '\0' && *key != '"' && n + 1 < size; ++key) {
        if (*key == '\\' && key[1] != '\0') ++key; /* \/ and \\ stand for / and \ */
        path[n++] = *key;
    }
    path[n] = '\0';
    return 1;
}

/* Waits until *flag is set or seconds have passed; returns the flag. */
static int wait_for(int* flag, int seconds) {
    struct timespec until;
    int set;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += seconds;
    pthread_mutex_lock(&lock);
    while (!*flag) {
        if (pthread_cond_timedwait(&changed, &lock, &until) != 0) break;
    }
    set = *flag;
    pthread_mutex_unlock(&lock);
    return set;
}

static const char* result_text(int code) {
    switch (code) {
        case 0:
            return "ok";
        case 5:
            return "device not open";
        case 13:
            return "no record given";
        case 128:
            return "no response";
        case 255:
            return "no response in time, or not a response";
        default:
            return "reader reported an error";
    }
}

int main(int argc, char** argv) {
    const char* link = argc > 1 ? argv[1] : "usb";
    const char* address = argc > 2 ? argv[2] : NULL;
    ORBX_DEVICE_CONNECTION_TYPE type = USB;
    char path[512] = "";
    void* device;
    int rc;
    static ORBX_CARD_DATA card;
    ORBX_ARQC_DATA arqc = {NULL};
    ORBX_Batch_DATA batch = {NULL};

    if (strcmp(link, "tcp") == 0) {
        type = TCP;
        if (address == NULL) address = getenv("TESSERA_SIM_TCP");
    } else if (strcmp(link, "serial") == 0) {
        type = SERIAL;
        if (address == NULL) address = getenv("TESSERA_SIM_SERIAL");
    } else if (strcmp(link, "usb") != 0) {
        fprintf(stderr, "usage: %s [usb | tcp ADDRESS | serial SETTINGS]\n", argv[0]);
        return 2;
    }

    printf("1. Finding a reader\n");
    if (type == USB) {
        const char* list = ORBX_GetDeviceList(USB);
        printf("   readers on USB: %s\n", list);
        if (!first_path(list, path, sizeof path)) {
            printf("   no reader found\n");
            return 1;
        }
    } else {
        if (address == NULL) {
            fprintf(stderr, "   no address given for the %s link\n", link);
            return 2;
        }
        snprintf(path, sizeof path, "%s", address);
    }
    printf("   opening %s reader at \"%s\"\n", link, path);
    device = ORBX_OpenDevice(type, path);
    if (device == (void*)-1) {
        printf("   could not open the reader\n");
        return 1;
    }
    printf("   open: %s\n", ORBX_IsDeviceOpened(device) ? "yes" : "no");

    printf("2. Installing the callbacks\n");
    ORBX_SetDataArriveCallback(device, on_data);
    ORBX_SetDeviceStatusChangeCallback(device, on_status);
    printf(
        "   (every message from the reader is printed with \"<-\" as the data callback receives "
        "it,\n"
        "    on the library's delivery thread, so these lines interleave with the steps below)\n");

    printf("3. Starting a transaction (30 s, magnetic stripe and chip, EMV)\n");
    rc = ORBX_StartTransaction(device, 30, (ORBX_ReaderEnable)(MSR | Contact), EMV,
                               (ORBX_TransactionOption)0, NULL);
    printf("   start: %d (%s)\n", rc, result_text(rc));
    if (rc == 0) {
        printf("   waiting for a card and the reader's authorisation request...\n");
        if (!wait_for(&authorisation_requested, 20))
            printf("   no authorisation request came in time\n");
    }

    printf("4. Reading the card data and the authorisation request (ARQC)\n");
    rc = ORBX_GetCardData(device, &card);
    printf("   card data: %d (%s)\n", rc, result_text(rc));
    if (rc == 0) {
        /* The masked tracks only; the library itself never logs card data. */
        printf("   status %02X, source %02X, card type %02X\n", card.Status, card.Source,
               card.CardType);
        printf("   track 1: status %08lX, masked (hex) %s\n", card.dwTrack1Status,
               card.szMaskedTrack1);
        printf("   track 2: status %08lX, masked (hex) %s\n", card.dwTrack2Status,
               card.szMaskedTrack2);
        printf("   track 3: status %08lX, masked (hex) %s\n", card.dwTrack3Status,
               card.szMaskedTrack3);
    }
    rc = ORBX_GetARQC(device, &arqc);
    printf("   ARQC: %d (%s)\n", rc, result_text(rc));
    if (rc == 0) printf("   ARQC data: %s\n", ORBX_GetResponseParameter(arqc.szRawResponse, "84"));

    printf("5. Answering the authorisation request (approved: response code \"00\" = 8A023030)\n");
    {
        /* A formatted command: identifier, then tag=value pairs; the answer comes back formatted.
         */
        const char* answer = ORBX_SendFommatedCommand(device, "1004,81=00,84=8A023030", 1000);
        printf("   reader answered: %s\n", answer != NULL ? answer : "(nothing)");
    }
    if (!wait_for(&transaction_over, 20)) printf("   the transaction did not finish in time\n");
    rc = ORBX_GetBatch(device, &batch);
    printf("   batch data: %d (%s)\n", rc, result_text(rc));
    if (rc == 0)
        printf("   batch record: %s\n", ORBX_GetResponseParameter(batch.szRawResponse, "84"));

    printf("6. Closing the reader\n");
    pthread_mutex_lock(&lock);
    printf("   %d messages arrived through the data callback\n", messages_seen);
    pthread_mutex_unlock(&lock);
    ORBX_CloseDevice(device);
    printf("   closed\n");
    return 0;
}
