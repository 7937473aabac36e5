// The closing line of a batch read, as the desktop and the command line show
// it: "Прочитано 2 из 3; адрес 5: Ошибка идентификации прибора."
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "front/part_sink.hpp"

namespace statvtk {

// `reports`: each address's read, in the order read; `asked`: how many
// addresses the batch was given (those never reached count as not read).
std::string BatchSummary(std::span<const ReadReport> reports, std::size_t asked, const LineSpec& line,
                         LinkWording wording);

}  // namespace statvtk
