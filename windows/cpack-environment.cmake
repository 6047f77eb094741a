# Read by CPack before each package: the tools it runs (strip, makensis) take their time stamps
# from the last commit, not the clock.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_VELLORIN_SOURCE_DATE_EPOCH})
