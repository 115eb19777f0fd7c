# Test PKI and Authenticode signing.
#
# The test PKI (tools/test-pki/generate.sh) is generated at build time into ${ARDENWICK_TEST_PKI_DIR};
# no private key is ever committed. Target `ardenwick_test_pki` makes it. The public root certificate is
# also copied next to the executables as bin/test-pki/root.cer, where Windows tests find it.
#
#   ardenwick_sign_target(<target> <certificate>)
#       signs the target's executable in place after every link (POST_BUILD), with one of the test
#       certificates: A, A2, B, C, D, D2 or U.
#   ardenwick_add_signed_copy(<name> SOURCE <target> OUTPUT <file> [CERTIFICATE <cert>] [TAMPER])
#       a custom target that makes a copy of <target>'s executable at <file>: signed with <cert>, or
#       unsigned without CERTIFICATE; TAMPER changes one byte covered by the signature afterwards.
find_program(ARDENWICK_OPENSSL openssl REQUIRED)
set(ARDENWICK_TEST_PKI_DIR ${CMAKE_BINARY_DIR}/test-pki)
set(ARDENWICK_TEST_PKI_ROOT_CER ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/test-pki/root.cer)
set(ardenwick_pki_generator ${CMAKE_SOURCE_DIR}/tools/test-pki/generate.sh)

add_custom_command(
    OUTPUT ${ARDENWICK_TEST_PKI_DIR}/generated.stamp ${ARDENWICK_TEST_PKI_ROOT_CER}
    COMMAND bash ${ardenwick_pki_generator} ${ARDENWICK_TEST_PKI_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${ARDENWICK_TEST_PKI_DIR}/root.cer ${ARDENWICK_TEST_PKI_ROOT_CER}
    DEPENDS ${ardenwick_pki_generator}
    COMMENT "Generating the test PKI"
    VERBATIM)
add_custom_target(ardenwick_test_pki DEPENDS ${ARDENWICK_TEST_PKI_DIR}/generated.stamp ${ARDENWICK_TEST_PKI_ROOT_CER})

if(WIN32)
    find_program(ARDENWICK_OSSLSIGNCODE osslsigncode REQUIRED)
    set(ardenwick_signing_script ${CMAKE_SOURCE_DIR}/tools/test-pki/sign.sh)

    function(ardenwick_sign_target target certificate)
        add_dependencies(${target} ardenwick_test_pki)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND bash ${ardenwick_signing_script} ${ARDENWICK_OSSLSIGNCODE} ${ARDENWICK_TEST_PKI_DIR}
                    ${certificate} $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>
            COMMENT "Signing ${target} with test certificate ${certificate}"
            VERBATIM)
    endfunction()

    function(ardenwick_add_signed_copy name)
        cmake_parse_arguments(arg "TAMPER" "SOURCE;OUTPUT;CERTIFICATE" "" ${ARGN})
        if(arg_CERTIFICATE)
            set(command bash ${ardenwick_signing_script} ${ARDENWICK_OSSLSIGNCODE} ${ARDENWICK_TEST_PKI_DIR}
                ${arg_CERTIFICATE} $<TARGET_FILE:${arg_SOURCE}> ${arg_OUTPUT})
        else()
            set(command ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${arg_SOURCE}> ${arg_OUTPUT})
        endif()
        set(tamper_command)
        if(arg_TAMPER)
            set(tamper_command COMMAND bash ${CMAKE_SOURCE_DIR}/tools/test-pki/tamper.sh ${arg_OUTPUT})
        endif()
        add_custom_command(OUTPUT ${arg_OUTPUT}
            COMMAND ${command}
            ${tamper_command}
            DEPENDS ${arg_SOURCE} ${ARDENWICK_TEST_PKI_DIR}/generated.stamp ${ardenwick_signing_script}
            COMMENT "Making ${name}"
            VERBATIM)
        add_custom_target(${name} ALL DEPENDS ${arg_OUTPUT})
        add_dependencies(${name} ardenwick_test_pki)
    endfunction()
endif()
