#pragma once
#include <string>

#include "Enumerations.h"
#include "Export.h"

namespace TESSERA {

// Transaction-status strings carried by EVENT_TYPE_TransactionStatus events: the status name,
// optionally followed by "," and detail text (for example the notification's hex data).
class SDK_EXPORT TransactionStatusBuilder {
  public:
    static const std::string TESSERATS_CARD_SWIPED;
    static const std::string TESSERATS_CARD_INSERTED;
    static const std::string TESSERATS_CARD_REMOVED;
    static const std::string TESSERATS_CARD_DETECTED;
    static const std::string TESSERATS_CARD_COLLISION;
    static const std::string TESSERATS_TIMED_OUT;
    static const std::string TESSERATS_HOST_CANCELLED;
    static const std::string TESSERATS_TRANSACTION_CANCELLED;
    static const std::string TESSERATS_TRANSACTION_IN_PROGRESS;
    static const std::string TESSERATS_TRANSACTION_ERROR;
    static const std::string TESSERATS_TRANSACTION_APPROVED;
    static const std::string TESSERATS_TRANSACTION_DECLINED;
    static const std::string TESSERATS_TRANSACTION_COMPLETED;
    static const std::string TESSERATS_TRANSACTION_FAILED;
    static const std::string TESSERATS_TRANSACTION_NOT_ACCEPTED;
    static const std::string TESSERATS_SIGNATURE_CAPTURE_REQUESTED;
    static const std::string TESSERATS_TECHNICAL_FALLBACK;
    static const std::string TESSERATS_QUICK_CHIP_DEFERRED;
    static const std::string TESSERATS_DATA_ENTERED;
    static const std::string TESSERATS_TRY_ANOTHER_INTERFACE;
    static const std::string TESSERATS_BARCODE_READ;
    static const std::string TESSERATS_VAS_ERROR;

    // The status named before the first comma (or by the whole text); NoStatus for an empty
    // or unknown name. NoTransaction is never returned.
    static TransactionStatus GetStatusCode(std::string data);
    // The text after the first comma without surrounding blanks; "" when there is no comma.
    static std::string GetDetailData(std::string data);
    // The status string, followed by "," and extraData when both are non-empty; "" for a
    // value without a string (an unknown status never carries detail).
    static std::string GetString(TransactionStatus value, std::string extraData);
};

}  // namespace TESSERA
