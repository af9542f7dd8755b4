#include "package/FileFailure.h"

#include <memory>

bool FileFailure::CatchCall(Side failedSide, const WideString& failedFile, void (*run)(void*), void* call) {
    try {
        run(call);
        return true;
    } catch (CFileException* error) {
        const std::unique_ptr<CFileException> owner(error);
        *this = FileFailure(failedSide, failedFile, *error);
        return false;
    }
}
