// Runs a call into the file layer and answers the cause of its failure instead of
// letting the thrown CFileException* travel on: the one place above the file layer
// where that exception is caught for others (the packer among them).
#pragma once

#include <cstdint>
#include <memory>

#include "file/CFileException.h"

// CFileException::none when call returned; otherwise the cause it was thrown with
// (never none).
template <typename Call>
int32_t CatchFileError(Call&& call) {
    try {
        call();
        return CFileException::none;
    } catch (CFileException* error) {
        const std::unique_ptr<CFileException> owner(error);
        return error->m_cause != CFileException::none ? error->m_cause : CFileException::genericException;
    }
}
