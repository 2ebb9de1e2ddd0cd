# The module from this source tree, the library from the build folder (ctest
# names it in VMKAL_LIBRARY; run by hand, the module finds build/bin itself).
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python"))
