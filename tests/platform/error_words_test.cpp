#include <gtest/gtest.h>

#include "platform/error_words.h"
#include "platform/service_manager.h"
#include "platform/win32_error.h"

namespace plat = tessaro::platform;

// Every number the service manager and the gateway's road report comes with its words.
TEST(ErrorWords, TheNumbersOfTheServiceRoadHaveWords) {
    for (long number : {plat::kErrorFileNotFound, plat::kErrorAccessDenied, plat::kErrorInvalidServiceControl,
                        plat::kErrorServiceAlreadyRunning, plat::kErrorServiceDoesNotExist, plat::kErrorServiceNotActive,
                        plat::kErrorFailedServiceControllerConnect, plat::kErrorServiceExists,
                        plat::ERROR_SERVICE_MARKED_FOR_DELETE, plat::ERROR_GEN_FAILURE, plat::ERROR_INVALID_HANDLE,
                        plat::ERROR_INVALID_NAME, plat::ERROR_BROKEN_PIPE, plat::ERROR_PIPE_BUSY,
                        plat::ERROR_PIPE_NOT_CONNECTED, plat::ERROR_NOT_ENOUGH_MEMORY, plat::WAIT_TIMEOUT_ERROR})
        EXPECT_NE(plat::ErrorWords(number), nullptr) << number;
}

TEST(ErrorWords, TheNumberComesWithItsWordsOrAlone) {
    EXPECT_EQ(plat::ErrorNumberWithWords(1060), "1060 (the service does not exist)");
    EXPECT_EQ(plat::ErrorNumberWithWords(1056), "1056 (the service is running already)");
    EXPECT_EQ(plat::ErrorNumberWithWords(0), "0");
    EXPECT_EQ(plat::ErrorNumberWithWords(424242), "424242");
    EXPECT_EQ(plat::ErrorWords(424242), nullptr);
}
