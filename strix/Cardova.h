#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ErrorHandler.h"
#include "RawDataStore.h"
#include "StrixData.h"
#include "StrixRecords.h"
#include "iConnection.h"

class Cardova;

// Receives an engine's events. Card data, notifications, errors and connection losses are
// reported on the connection's reading thread; OnDeviceChange also on the thread that opens or
// closes the engine.
class Cardova_Delegate {
  public:
    virtual ~Cardova_Delegate() = default;
    virtual void OnError(Cardova* reader, int code, char* message) = 0;
    virtual void OnDeviceChange(Cardova* reader, EDeviceStateValues state) = 0;
    virtual void OnCardUpdate(Cardova* reader, ECardDataStateValues state) = 0;
    virtual void OnNotification(Cardova* reader, unsigned short messageId,
                                const unsigned char* data, int dataLen) = 0;
};

// Protocol engine for one open swipe reader: owns the connection, runs command transactions
// and decodes card-data reports into STRIXDATA and the application record VLMSRDATA.
//
// A command transaction is sendCommand -> waitForCommand -> getResponse ->
// MakeHexStringFromResponse, each step answering 0 or an error code. The engine does not
// serialise transactions itself; callers use `lock`/`flag`.
//
// Engine classes whose onData uses members of their own must call close() in their destructor,
// so that the reading thread has stopped before those members go away.
class Cardova : public ErrorHandler {
  public:
    // Command reports of plain commands are built in a buffer of this size.
    static constexpr int kCommandBufferSize = 4096;
    // Battery level reported when the card report is too short to carry one.
    static constexpr long kBatteryUnknown = 100;

    // Chooses the engine class from config->dwPID (or from the path without a model row),
    // opens the connection and runs the start-up exchange. Null when nothing could be opened
    // or the model has no engine. The caller owns the engine.
    static Cardova* open(const char* path, CRConfigTable* config);

    Cardova();

    void setError(int code, char* message, void* param) override;
    virtual bool _open(const char* path, CRConfigTable* config);
    virtual void afterOpen() {}
    // Hex command text -> command report: buffer[1] command byte, buffer[2] count of the
    // remaining bytes, then those bytes; buffer[0] (report ID) is left as the caller set it.
    // *bufferLen: capacity in, report length out.
    virtual bool composeCommand(unsigned char* hexCmd, int hexCmdLen, unsigned char* buffer,
                                int* bufferLen);
    // Decodes one card-data report and tells the delegate (READY or ERROR).
    virtual void getMSRResult(const unsigned char* data, int dataLen);
    virtual void updateData();
    virtual void extractData();
    virtual void copyToMsr();
    ~Cardova() override;
    virtual void close();
    virtual void clear();
    virtual bool isConnected();
    // command: hex command text of commandLength characters.
    virtual int sendCommand(unsigned char* command, int commandLength);
    virtual int waitForCommand() { return 0; }
    virtual int getResponse(unsigned char* buf, int BufferLength);
    // *BufferLength: capacity of buf in, length of the answer out.
    virtual int getResponse(unsigned char* buf, int* BufferLength);
    virtual std::string getMsrRawData();
    virtual std::string getRawData();
    virtual void clearRawData();
    virtual int getResultCode();
    virtual void setResultCode(int code);
    virtual void onData(iConnection* connObject, unsigned char* pData, int dataLen);
    virtual void onChanged(const char* scheme, int change);
    // Response report -> upper-case hex of its data. *outLen: capacity of out (terminator
    // included) in, hex length out. Returns the response status (0 = accepted), 13 when out is
    // too small, 17 for a report that is too short for what it announces.
    virtual int MakeHexStringFromResponse(unsigned char* buf, int BufferLength, char* out,
                                          int* outLen);
    // All card fields, each followed by delimiter except the last.
    virtual std::string GetCardDataStr(const char* delimiter);

    VLMSRDATA getCardData();
    STRIXDATA getStrixData();
    CRConfigTable getConfigTable() const { return configTable; }
    Cardova_Delegate* getDelegate() { return _delegate.load(); }
    // Does not wait for a callback in progress on the reading thread: a delegate may be deleted
    // only after the engine was closed (close() joins the reading thread).
    void setDelegate(Cardova_Delegate* d);
    iConnection* getConnection() { return connection.load(); }

    static const char* const card_encode_type_str[7];

    // Serialises asynchronous commands of the handle-based C API on this engine.
    std::mutex lock;
    // 1 while a handle-based command runs (closing waits for it).
    std::atomic<int> flag{0};

  protected:
    static void _onData(iConnection* connObject, unsigned char* pData, int dataLen,
                        void* associateObject);
    static void _onChanged(const char* pathScheme, int change, void* associateObject);
    // Takes ownership of an open connection and registers the engine's callbacks on it.
    void adoptConnection(iConnection* c);

    // Fills rawData from a report; false when the report is too short for what it announces.
    // Called with dataLock held.
    bool parseCardReport(const unsigned char* data, int dataLen);
    void ExtractNameISO(const std::string& track);
    void ExtractNameAAMVA(const std::string& track);
    int formatPlainResponse(const unsigned char* buf, int BufferLength, char* out, int* outLen);
    // Hex text -> bytes; false on a character that is not a hex digit. A trailing odd
    // character is ignored.
    static bool hexToBytes(const unsigned char* hex, int hexLen, std::vector<unsigned char>& out);

    std::atomic<Cardova_Delegate*> _delegate{nullptr};
    RawDataStore msrRawData;
    VLMSRDATA cardData;
    std::atomic<iConnection*> connection{nullptr};
    std::atomic<int> resultCode{0};
    STRIXDATA rawData;
    CRConfigTable configTable;
    // Guards cardData, rawData: the reading thread writes them, application threads read them.
    std::mutex dataLock;
};
