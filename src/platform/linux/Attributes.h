// What a replacement must take on from the file it replaces, beyond its
// owner and mode: the access list and the extended attributes.
#pragma once

namespace vintrel {
namespace replace {

// Gives the new file `to` every extended attribute of the old file `from`:
// its access list and other system ones, and the user's, or else false, for
// the replacement would then widen someone's access or lose what its owner
// set. Security and trusted ones are given where the caller may set them.
// A new file that took an access list from its folder's default, where the
// old one had none, loses it.
bool CarryAttributes(int from, int to);

}  // namespace replace
}  // namespace vintrel
