// Runs a call into the file layer and answers the cause of its failure instead of
// letting the thrown CFileException* travel on: the one place above the file layer
// where that exception is caught for others (the packer among them).
#pragma once

#include <cstdint>
#include <memory>

#include "file/CFileException.h"

// CFileException::none when call returned; otherwise the cause it was thrown with
// (never none), and the whole exception copied into *caught when one is given.
template <typename Call>
int32_t CatchFileError(Call&& call, CFileException* caught = nullptr) {
    try {
        call();
        return CFileException::none;
    } catch (CFileException* error) {
        const std::unique_ptr<CFileException> owner(error);
        if (error->m_cause == CFileException::none) error->m_cause = CFileException::genericException;
        if (caught != nullptr) *caught = *error;
        return error->m_cause;
    }
}
