# Fails when the compiled rotation code holds a fused multiply-add: it rounds
# a product and a sum once instead of twice and so changes pictures. Run as
#   cmake -DOBJDUMP=... -DARCH=aarch64|arm|...|riscv -DOBJECTS="a.o|b.o|..."
#         -DEXPECT="Rotate.cpp|Tiling.cpp|..." -P this
# Each source named in EXPECT must have exactly one object, and each object
# must show separately rounded double arithmetic of its kind, so that a moved
# file, a wrong object or a wrong disassembler cannot pass by showing nothing.
#
# ARM's VMLA/VMLS/VNMLA/VNMLS (VFPv2 onwards) are not fused: the product is
# rounded before it is added, as with separate VMUL and VADD, so they stay.
#
# A call to fma, fmaf or fmal fuses on any target; without an FPU (armel) it is
# the only way, and the plain arithmetic is libgcc's: calls are relocations.
if(ARCH STREQUAL "aarch64")
  set(fused "f(n?madd|n?msub|mla|mls)")           # scalar and vector
  set(plain "f(add|sub|mul)")
elseif(ARCH STREQUAL "arm")
  set(fused "vfn?m[as]")                          # VFPv4 and NEON
  set(plain "v(add|sub|mul)\\.f64")
elseif(ARCH STREQUAL "arm-soft")
  set(fused "vfn?m[as]")
  set(plain "__aeabi_d(add|sub|mul)")                # relocations of the calls
elseif(ARCH STREQUAL "x86")
  set(fused "v?f(n?madd|n?msub)[0-9a-z]*")        # FMA3 and FMA4
  set(plain "v?(add|sub|mul)[sp]d")
elseif(ARCH STREQUAL "s390x")
  # Base (MADBR, MSDBR, MAEBR, ... and the storage forms MADB, ...; also the
  # hexadecimal-float MADR family) and vector (WFMADB, VFNMASB, VFMA, ...).
  # The max and min forms (VFMAX, WFMAXDB) are no multiplications: the
  # mnemonic must end after the precision.
  set(fused "m[as][de]b?r?|[vw]fn?m[as](sb|db|xb)?")
  set(plain "([ams]dbr?|[vw]f[ams]db)")
elseif(ARCH STREQUAL "ppc64")
  # Base and VSX (FMADD., FNMSUBS, XSMADDADP, XVNMSUBASP, ...), not XSMAXDP.
  set(fused "f(n?madd|n?msub)s?|x[sv]n?m(add|sub)[am]?(dp|sp|qpo?)")
  set(plain "(f(add|sub|mul)s?|x[sv](add|sub|mul)[sd]p)")
elseif(ARCH STREQUAL "mips")
  # MADD.D, NMSUB.S, ... (fused on some cores), R6's MADDF.D, MSA's FMADD.D;
  # the integer MADD, into HI and LO, has no format.
  set(fused "n?m(add|sub)f?\\.(s|d|ps)|fm(add|sub)\\.[wd]")
  set(plain "(add|sub|mul)\\.d")
elseif(ARCH STREQUAL "riscv")
  set(fused "fn?m(add|sub)\\.[sdqh]")              # not FMAX.D
  set(plain "f(add|sub|mul)\\.d")
else()
  message(FATAL_ERROR "no fused-instruction list for ARCH='${ARCH}'")
endif()

string(REPLACE "|" ";" all "${OBJECTS}")
string(REPLACE "|" ";" expected "${EXPECT}")
set(objects "")
foreach(source IN LISTS expected)
  set(found "")
  foreach(object IN LISTS all)
    get_filename_component(name "${object}" NAME)
    if(name STREQUAL "${source}.o" OR name STREQUAL "${source}.obj")
      list(APPEND found "${object}")
    endif()
  endforeach()
  list(LENGTH found n)
  if(NOT n EQUAL 1)
    message(FATAL_ERROR "${source}: ${n} objects among ${OBJECTS}")
  endif()
  list(APPEND objects ${found})
endforeach()

set(failures "")
foreach(object IN LISTS objects)
  execute_process(COMMAND ${OBJDUMP} -d -r --no-show-raw-insn -C ${object}
    OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${object}: ${err}")
  endif()
  get_filename_component(name ${object} NAME)
  if(NOT listing MATCHES "\t${plain}[ \t\n]")
    string(APPEND failures "${name}: no ${plain} at all; is this the rotation code of this target?\n")
  endif()
  # Plain lines for CMake's lists: no separators, no brackets.
  string(REGEX REPLACE "[][;]" " " listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(function "?")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-f]+ <([^.].*)>:$")   # not RISC-V's local labels (.L54)
      set(function "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^ *[0-9a-f]+:\t(${fused})[. \t]" OR
           line MATCHES "^[ \t]*[0-9a-f]+: R_[A-Z0-9_]+[ \t]+(fma[fl]?)([-+@].*)?$")
      string(STRIP "${line}" line)
      string(APPEND failures "${name}: ${function}: ${line}\n")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "fused multiply-add in the rotation code:\n${failures}")
endif()
message(STATUS "no fused multiply-add in: ${objects}")
