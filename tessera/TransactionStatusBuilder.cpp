#include "TransactionStatusBuilder.h"

#include "NamedValues.h"
#include "stdafx.h"

namespace TESSERA {

using B = TransactionStatusBuilder;
const std::string B::TESSERATS_CARD_SWIPED = "card_swiped";
const std::string B::TESSERATS_CARD_INSERTED = "card_inserted";
const std::string B::TESSERATS_CARD_REMOVED = "card_removed";
const std::string B::TESSERATS_CARD_DETECTED = "card_detected";
const std::string B::TESSERATS_CARD_COLLISION = "card_collision";
const std::string B::TESSERATS_TIMED_OUT = "timed_out";
const std::string B::TESSERATS_HOST_CANCELLED = "host_cancelled";
const std::string B::TESSERATS_TRANSACTION_CANCELLED = "transaction_cancelled";
const std::string B::TESSERATS_TRANSACTION_IN_PROGRESS = "transaction_in_progress";
const std::string B::TESSERATS_TRANSACTION_ERROR = "transaction_error";
const std::string B::TESSERATS_TRANSACTION_APPROVED = "transaction_approved";
const std::string B::TESSERATS_TRANSACTION_DECLINED = "transaction_declined";
const std::string B::TESSERATS_TRANSACTION_COMPLETED = "transaction_completed";
const std::string B::TESSERATS_TRANSACTION_FAILED = "transaction_failed";
const std::string B::TESSERATS_TRANSACTION_NOT_ACCEPTED = "transaction_not_accepted";
const std::string B::TESSERATS_SIGNATURE_CAPTURE_REQUESTED = "signature_capture_requested";
const std::string B::TESSERATS_TECHNICAL_FALLBACK = "technical_fallback";
const std::string B::TESSERATS_QUICK_CHIP_DEFERRED = "quick_chip_deferred";
const std::string B::TESSERATS_DATA_ENTERED = "data_entered";
const std::string B::TESSERATS_TRY_ANOTHER_INTERFACE = "try_another_interface";
const std::string B::TESSERATS_BARCODE_READ = "barcode_read";
const std::string B::TESSERATS_VAS_ERROR = "vas_error";

namespace {
const NamedValue<TransactionStatus> kStatuses[] = {
    {CardSwiped, &B::TESSERATS_CARD_SWIPED},
    {CardInserted, &B::TESSERATS_CARD_INSERTED},
    {CardRemoved, &B::TESSERATS_CARD_REMOVED},
    {CardDetected, &B::TESSERATS_CARD_DETECTED},
    {CardCollision, &B::TESSERATS_CARD_COLLISION},
    {TimedOut, &B::TESSERATS_TIMED_OUT},
    {HostCancelled, &B::TESSERATS_HOST_CANCELLED},
    {TransactionCancelled, &B::TESSERATS_TRANSACTION_CANCELLED},
    {TransactionInProgress, &B::TESSERATS_TRANSACTION_IN_PROGRESS},
    {TransactionError, &B::TESSERATS_TRANSACTION_ERROR},
    {TransactionApproved, &B::TESSERATS_TRANSACTION_APPROVED},
    {TransactionDeclined, &B::TESSERATS_TRANSACTION_DECLINED},
    {TransactionCompleted, &B::TESSERATS_TRANSACTION_COMPLETED},
    {TransactionFailed, &B::TESSERATS_TRANSACTION_FAILED},
    {TransactionNotAccepted, &B::TESSERATS_TRANSACTION_NOT_ACCEPTED},
    {SignatureCaptureRequested, &B::TESSERATS_SIGNATURE_CAPTURE_REQUESTED},
    {TechnicalFallback, &B::TESSERATS_TECHNICAL_FALLBACK},
    {QuickChipDeferred, &B::TESSERATS_QUICK_CHIP_DEFERRED},
    {DataEntered, &B::TESSERATS_DATA_ENTERED},
    {TryAnotherInterface, &B::TESSERATS_TRY_ANOTHER_INTERFACE},
    {BarcodeRead, &B::TESSERATS_BARCODE_READ},
    {VASError, &B::TESSERATS_VAS_ERROR},
};
}  // namespace

TransactionStatus TransactionStatusBuilder::GetStatusCode(std::string data) {
    const std::string name = data.substr(0, data.find(','));
    return valueOf(kStatuses, name, NoStatus);
}

std::string TransactionStatusBuilder::GetDetailData(std::string data) {
    const std::size_t comma = data.find(',');
    if (comma == std::string::npos) return std::string();
    return TRIM(data.substr(comma + 1));
}

std::string TransactionStatusBuilder::GetString(TransactionStatus value, std::string extraData) {
    std::string text = stringOf(kStatuses, value);
    if (!text.empty() && !extraData.empty()) text += "," + extraData;
    return text;
}

}  // namespace TESSERA
