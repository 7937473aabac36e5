// The closing line of a batch read, as both front ends show it:
// "Прочитано 2 из 3; адрес 5: Ошибка идентификации прибора."
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "reading/read_result.hpp"

namespace statvtk {

// `results`: each address's own result, in the order read; `asked`: how many
// addresses the batch was given (those never reached count as not read).
std::string BatchSummary(std::span<const ReadResult> results, std::size_t asked);

}  // namespace statvtk
