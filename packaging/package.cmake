# The Debian package: `cpack` in the build folder makes chromola_<version>_<arch>.deb
# of what `cmake --install` puts under /usr. Its Depends come from
# dpkg-shlibdeps; the audio library travels inside it and is nobody else's.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME chromola)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "colour-music player")
set(CPACK_PACKAGE_DESCRIPTION "Chromola plays a list of audio files and fills its window with the colour of \
what is heard: the bass red, the middle green and the treble blue. It plays \
wav, aiff, mp1, mp2, mp3, ogg, opus, flac and tracker modules.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Chromola maintainers <maintainers@chromola.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its X11 platform plugin at run time, and the audio library loads
# libopenmpt, libsoxr and ALSA when it first needs them; no library names
# them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libopenmpt0, libsoxr0, libasound2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
include(CPack)
