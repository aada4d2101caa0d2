// Shared test fixtures live in this folder; this file keeps the library non-empty.
namespace pellion::test {
int supportLibraryAnchor = 0;
}
