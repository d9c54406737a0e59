#include "PlanWindow.hpp"

#include "HostTesting.hpp"
#include "HostTestingWindow.hpp"
#include "PlanView.hpp"

void PlanWindow::Install()
{
    HostTesting::InstallWindowPicture([](int width, int height) {
        PlanView::Options options;
        options.width = width;
        options.height = height;
        options.story = HostTesting::CurrentStory();
        return PlanView::RenderPng(options);
    });
}
