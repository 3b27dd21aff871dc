#include "engine/clsDownLoadJob.h"

struct clsDownLoadJob::Connection {};

clsDownLoadJob::clsDownLoadJob(QObject* parent) : QObject(parent) {}
clsDownLoadJob::~clsDownLoadJob() = default;
bool clsDownLoadJob::Create(int) {
    return false;
}
bool clsDownLoadJob::Start() {
    return true;
}
void clsDownLoadJob::Pause() {}
void clsDownLoadJob::ReadDownState() {}
void clsDownLoadJob::SaveDownState() {}
bool clsDownLoadJob::CreateFileForSave() {
    return false;
}
void clsDownLoadJob::CreateSocks2() {}
void clsDownLoadJob::CreateSocks3_5() {}
void clsDownLoadJob::CancelSock(int, int) {}
void clsDownLoadJob::CalcHaveDown() {}
void clsDownLoadJob::CloseFile() {}
void clsDownLoadJob::StopAll() {}
int clsDownLoadJob::ActiveConnections() const {
    return 0;
}
bool clsDownLoadJob::SizeUnknown() const {
    return false;
}
bool clsDownLoadJob::SplitUrl(const QString&) {
    return false;
}
bool clsDownLoadJob::SplitUrl(const QString&, JobRecord&) {
    return false;
}
QByteArray clsDownLoadJob::RequestText(const JobRecord&, int) {
    return {};
}
QString clsDownLoadJob::GetResponseHead(const QByteArray&) {
    return {};
}
QString clsDownLoadJob::GetStatusClass(const QString&) {
    return {};
}
QString clsDownLoadJob::GetContentLength(const QString&) {
    return {};
}
QString clsDownLoadJob::GetLocation(const QString&) {
    return {};
}
QString clsDownLoadJob::GetFileBase(const QString&) {
    return {};
}
QString clsDownLoadJob::GetFileExt(const QString&) {
    return {};
}
