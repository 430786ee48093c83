// Entry point of the bitbase loader used by the option handler.
#pragma once

namespace bitbases {

// Loads the bitbases named by the bitbase path; reportMode 1 announces the result.
void LoadBitbases(int reportMode);

}  // namespace bitbases
