#include "tTorvo.h"

#include "stdafx.h"

void tTorvo::afterOpen() {
    SLEEP(kStartupDelayMs);
    Kestrel::afterOpen();
}
