// The program's version, shown in the title line of the setup screens.
namespace sparvik {
extern const char* const program_version;
const char* const program_version = "0.1.1";
}  // namespace sparvik
