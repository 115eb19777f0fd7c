#include "ui/localized_strings.h"

namespace ardenwick {
namespace {

// The texts are the product's own wording, kept exactly as written (including the typographic apostrophe
// of the English update heading and the full-width punctuation of the Chinese texts).
constexpr LocalizedStrings englishStrings{{
    ARDENWICK_UI_TEXT("Ardenwick"),                          // productName
    ARDENWICK_UI_TEXT("Ardenwick Setup"),                    // windowTitle
    ARDENWICK_UI_TEXT("Preparing your installation..."),     // preparingHeading
    ARDENWICK_UI_TEXT("Installing update..."),               // installingUpdateHeading
    ARDENWICK_UI_TEXT("Couldn’t install the update"),        // updateFailedHeading
    ARDENWICK_UI_TEXT("Downloading Ardenwick..."),           // downloadingHeading
    ARDENWICK_UI_TEXT("Checking your download..."),          // verifyingHeading
    ARDENWICK_UI_TEXT("Installing Ardenwick..."),            // installingHeading
    ARDENWICK_UI_TEXT("Opening Ardenwick..."),               // openingHeading
    ARDENWICK_UI_TEXT("You're all set."),                    // readyHeading
    ARDENWICK_UI_TEXT("Ardenwick will open automatically."), // readyDetail
    ARDENWICK_UI_TEXT("Installation couldn't finish."),      // failedHeading
    ARDENWICK_UI_TEXT(
        "We couldn't find the latest version. Check your connection and try again."), // manifestFailedDetail
    ARDENWICK_UI_TEXT("The download couldn't finish. Check your connection and available disk space, then "
                      "try again."), // downloadFailedDetail
    ARDENWICK_UI_TEXT(
        "We couldn't verify this download. Try downloading it again."), // verificationFailedDetail
    ARDENWICK_UI_TEXT("The installation couldn't finish. Try again."),  // installationFailedDetail
    ARDENWICK_UI_TEXT("Ardenwick is installed. Select Open Ardenwick to start it."), // installedOpenDetail
    ARDENWICK_UI_TEXT("Installation canceled."),                                     // cancelledHeading
    ARDENWICK_UI_TEXT("Something went wrong."),                                      // unknownResultHeading
    ARDENWICK_UI_TEXT("Try again to finish installing Ardenwick."),                  // unknownResultDetail
    ARDENWICK_UI_TEXT("Ardenwick is already installed."),                         // alreadyInstalledHeading
    ARDENWICK_UI_TEXT("Try again"),                                               // tryAgainLabel
    ARDENWICK_UI_TEXT("Close"),                                                   // closeLabel
    ARDENWICK_UI_TEXT("Close window; installation continues in the background."), // closeInBackgroundLabel
    ARDENWICK_UI_TEXT("Open Ardenwick"),                                          // openLabel
    ARDENWICK_UI_TEXT("Download full installer"), // downloadFullInstallerLabel
    ARDENWICK_UI_TEXT(
        "This version of Ardenwick isn't compatible with your PC."), // unsupportedArchitectureDetail
    ARDENWICK_UI_TEXT("This may take a few moments."),               // installingDetail
}};

constexpr LocalizedStrings portugueseStrings{{
    ARDENWICK_UI_TEXT("Ardenwick"),                              // productName
    ARDENWICK_UI_TEXT("Configuração da Ardenwick"),              // windowTitle
    ARDENWICK_UI_TEXT("Preparando sua instalação..."),           // preparingHeading
    ARDENWICK_UI_TEXT("Instalando atualização..."),              // installingUpdateHeading
    ARDENWICK_UI_TEXT("Não foi possível intalar a atualização"), // updateFailedHeading
    ARDENWICK_UI_TEXT("Baixando Ardenwick..."),                  // downloadingHeading
    ARDENWICK_UI_TEXT("Verificando seu download..."),            // verifyingHeading
    ARDENWICK_UI_TEXT("Instalando Ardenwick..."),                // installingHeading
    ARDENWICK_UI_TEXT("Abrindo Ardenwick..."),                   // openingHeading
    ARDENWICK_UI_TEXT("Está tudo pronto."),                      // readyHeading
    ARDENWICK_UI_TEXT("Ardenwick vai abrir automaticamente."),   // readyDetail
    ARDENWICK_UI_TEXT("A instalação não pôde ser concluída."),   // failedHeading
    ARDENWICK_UI_TEXT("Não foi possível encontrar a versão mais recente. Verifique sua conexão e tente "
                      "novamente."), // manifestFailedDetail
    ARDENWICK_UI_TEXT("O download não pôde ser concluído. Verifique sua conexão e o espaço disponível em "
                      "disco e tente novamente."), // downloadFailedDetail
    ARDENWICK_UI_TEXT(
        "Não foi possível verificar este download. Tente baixá-lo novamente."), // verificationFailedDetail
    ARDENWICK_UI_TEXT("A instalação não pôde ser concluída. Tente novamente."), // installationFailedDetail
    ARDENWICK_UI_TEXT(
        "Ardenwick já está instalado. Selecione Abrir Ardenwick para começar."),  // installedOpenDetail
    ARDENWICK_UI_TEXT("Instalação cancelada."),                                   // cancelledHeading
    ARDENWICK_UI_TEXT("Algo deu errado."),                                        // unknownResultHeading
    ARDENWICK_UI_TEXT("Tente de novo para instalação do Ardenwick."),             // unknownResultDetail
    ARDENWICK_UI_TEXT("Ardenwick já está instalado."),                            // alreadyInstalledHeading
    ARDENWICK_UI_TEXT("Tente novamente"),                                         // tryAgainLabel
    ARDENWICK_UI_TEXT("Fechar"),                                                  // closeLabel
    ARDENWICK_UI_TEXT("Feche a janela; a instalação continua em segundo plano."), // closeInBackgroundLabel
    ARDENWICK_UI_TEXT("Abrir Ardenwick"),                                         // openLabel
    ARDENWICK_UI_TEXT("Baixar instalador completo"), // downloadFullInstallerLabel
    ARDENWICK_UI_TEXT(
        "O versão do Ardenwick não está compatível com seu PC."), // unsupportedArchitectureDetail
    ARDENWICK_UI_TEXT("Isso pode levar alguns instantes."),       // installingDetail
}};

constexpr LocalizedStrings chineseStrings{{
    ARDENWICK_UI_TEXT("Ardenwick"),                                            // productName
    ARDENWICK_UI_TEXT("Ardenwick 安装程序"),                                   // windowTitle
    ARDENWICK_UI_TEXT("正在准备安装……"),                                       // preparingHeading
    ARDENWICK_UI_TEXT("正在安装更新……"),                                       // installingUpdateHeading
    ARDENWICK_UI_TEXT("无法安装更新"),                                         // updateFailedHeading
    ARDENWICK_UI_TEXT("正在下载 Ardenwick……"),                                 // downloadingHeading
    ARDENWICK_UI_TEXT("正在检查下载文件……"),                                   // verifyingHeading
    ARDENWICK_UI_TEXT("正在安装 Ardenwick……"),                                 // installingHeading
    ARDENWICK_UI_TEXT("正在打开 Ardenwick……"),                                 // openingHeading
    ARDENWICK_UI_TEXT("一切就绪。"),                                           // readyHeading
    ARDENWICK_UI_TEXT("Ardenwick 将自动打开。"),                               // readyDetail
    ARDENWICK_UI_TEXT("安装未能完成。"),                                       // failedHeading
    ARDENWICK_UI_TEXT("未能找到最新版本。请检查网络连接后重试。"),             // manifestFailedDetail
    ARDENWICK_UI_TEXT("下载未能完成。请检查网络连接和可用磁盘空间后重试。"),   // downloadFailedDetail
    ARDENWICK_UI_TEXT("未能验证下载文件。请重新下载。"),                       // verificationFailedDetail
    ARDENWICK_UI_TEXT("安装未能完成，请重试。"),                               // installationFailedDetail
    ARDENWICK_UI_TEXT("Ardenwick 已安装。请选择“打开 Ardenwick”以启动应用。"), // installedOpenDetail
    ARDENWICK_UI_TEXT("安装已取消。"),                                         // cancelledHeading
    ARDENWICK_UI_TEXT("出了点问题。"),                                         // unknownResultHeading
    ARDENWICK_UI_TEXT("请重试以完成 Ardenwick 的安装。"),                      // unknownResultDetail
    ARDENWICK_UI_TEXT("Ardenwick 已安装。"),                                   // alreadyInstalledHeading
    ARDENWICK_UI_TEXT("重试"),                                                 // tryAgainLabel
    ARDENWICK_UI_TEXT("关闭"),                                                 // closeLabel
    ARDENWICK_UI_TEXT("关闭窗口，安装将在后台继续。"),                         // closeInBackgroundLabel
    ARDENWICK_UI_TEXT("打开 Ardenwick"),                                       // openLabel
    ARDENWICK_UI_TEXT("下载完整安装包"),                                       // downloadFullInstallerLabel
    ARDENWICK_UI_TEXT("此版本的 Ardenwick 与你的电脑不兼容。"), // unsupportedArchitectureDetail
    ARDENWICK_UI_TEXT("这可能需要一些时间。"),                  // installingDetail
}};
} // namespace

const LocalizedStrings& stringsForLanguage(UiStringView languageTag) noexcept {
    if (languageTag == ChineseLanguageTag) {
        return chineseStrings;
    }
    if (languageTag == PortugueseLanguageTag) {
        return portugueseStrings;
    }
    return englishStrings;
}

} // namespace ardenwick
