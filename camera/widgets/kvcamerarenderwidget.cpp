#include "kvcamerarenderwidget.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMutexLocker>
#include <QOpenGLContext>
#include <QOpenGLShader>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>

namespace {
constexpr int kUnpaintedLimit = 30;

const char *const kVertexShader =
    "attribute mediump vec4 vertexIn;             attribute mediump vec2 textureIn;     "
    "varying mediump vec2 textureOut;      void main(void)               {                 "
    "                gl_Position = vertexIn;         textureOut = textureIn;     }";

// BT.601 YCbCr to RGB; the range's offset and scale first bring Y to 0..1
// and Cb, Cr to -0.5..0.5.
const char *const kFragmentShader =
    "varying mediump  vec2 textureOut;             uniform sampler2D tex_y;     uniform "
    "sampler2D tex_u;     uniform sampler2D tex_v;     uniform mediump vec3 yuv_offset;     "
    "uniform mediump vec3 yuv_scale;     void main(void)     {         mediump vec3 yuv;     "
    "    mediump vec3 rgb;         yuv.x = texture2D(tex_y, textureOut).r;         yuv.y = "
    "texture2D(tex_u, textureOut).r;         yuv.z = texture2D(tex_v, textureOut).r;         "
    "yuv = (yuv - yuv_offset) * yuv_scale;         rgb = mat3( 1,       1,         1,       "
    "              0,       -0.344136, 1.772,                     1.402,   -0.714136, 0) * "
    "yuv;         gl_FragColor = vec4(rgb, 1);     }";

// Four positions, then four texture coordinates; vertex 0 is the bottom-left
// corner and samples the last frame row, so the image is upright.
const GLfloat kVertices[16] = {-1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f, 1.0f, -1.0f,
                               0.0f,  1.0f,  0.0f,  0.0f, 1.0f, 0.0f, 1.0f, 1.0f};
} // namespace

KvCameraRenderWidget::KvCameraRenderWidget(QWidget *parent) : QOpenGLWidget(parent)
{
    setWindowFlag(Qt::FramelessWindowHint);
}

KvCameraRenderWidget::~KvCameraRenderWidget()
{
    if (m_aboutToBeDestroyed)
        m_aboutToBeDestroyed();
    releaseGLResources();
    // The base class destroys the context after this object is gone.
    if (context())
        disconnect(context(), nullptr, this, nullptr);
}

void KvCameraRenderWidget::setAboutToBeDestroyedHandler(std::function<void()> handler)
{
    m_aboutToBeDestroyed = std::move(handler);
}

void KvCameraRenderWidget::setColorRange(bool fullRange)
{
    if (m_fullRange == fullRange)
        return;
    m_fullRange = fullRange;
    update();
}

// The program, the textures and the buffer belong to the widget's context:
// release them while it is still there (it goes before the widget's destructor
// finishes, or on reparenting, after which initializeGL makes new ones).
void KvCameraRenderWidget::releaseGLResources()
{
    if (!m_program && !m_textureY && !m_vbo.isCreated())
        return;
    if (!context())
        return;
    makeCurrent();
    // The shaders are the program's children.
    delete m_program;
    m_program = nullptr;
    m_offsetLocation = m_scaleLocation = -1;
    delete m_textureY;
    delete m_textureU;
    delete m_textureV;
    m_textureY = m_textureU = m_textureV = nullptr;
    m_idY = m_idU = m_idV = 0;
    m_vbo.destroy();
    doneCurrent();
}

void KvCameraRenderWidget::slotReceiveVideoFrame(void *ptr, int width, int height)
{
    m_frame = static_cast<unsigned char *>(ptr);
    m_width = ptr ? width : 0;
    m_height = ptr ? height : 0;
    if (ptr) {
        ++m_serial;
        // A context Qt could not make never paints: say so rather than count
        // frames nobody sees. A few frames of grace cover the first expose.
        if (isVisible() && !m_everPainted && ++m_unpaintedVisible == kUnpaintedLimit &&
            m_cannotShow.isEmpty()) {
            m_cannotShow = QStringLiteral("no OpenGL context could be made for the %1 platform")
                               .arg(QGuiApplication::platformName());
            qWarning().noquote() << "KvCameraRenderWidget:" << m_cannotShow;
        }
    }
    update();
}

void KvCameraRenderWidget::initializeGL()
{
    initializeOpenGLFunctions();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this,
            &KvCameraRenderWidget::releaseGLResources, Qt::DirectConnection);
    glEnable(GL_DEPTH_TEST);
    m_redTextures = openGLFeatures().testFlag(QOpenGLFunctions::TextureRGFormats);

    m_vbo.create();
    m_vbo.bind();
    m_vbo.allocate(kVertices, sizeof(kVertices));

    m_program = new QOpenGLShaderProgram(this);
    auto *vertexShader = new QOpenGLShader(QOpenGLShader::Vertex, m_program);
    vertexShader->compileSourceCode(kVertexShader);
    auto *fragmentShader = new QOpenGLShader(QOpenGLShader::Fragment, m_program);
    fragmentShader->compileSourceCode(kFragmentShader);

    m_program->addShader(vertexShader);
    m_program->addShader(fragmentShader);
    m_program->bindAttributeLocation("vertexIn", 0);
    m_program->bindAttributeLocation("textureIn", 1);
    if (!m_program->link() && m_cannotShow.isEmpty()) {
        m_cannotShow = QStringLiteral("the YUV shader did not link: %1").arg(m_program->log());
        qWarning().noquote() << "KvCameraRenderWidget:" << m_cannotShow;
    }
    m_program->bind();
    m_program->enableAttributeArray(0);
    m_program->enableAttributeArray(1);
    m_program->setAttributeBuffer(0, GL_FLOAT, 0, 2, 2 * sizeof(GLfloat));
    m_program->setAttributeBuffer(1, GL_FLOAT, 8 * sizeof(GLfloat), 2, 2 * sizeof(GLfloat));

    m_samplerY = m_program->uniformLocation("tex_y");
    m_samplerU = m_program->uniformLocation("tex_u");
    m_samplerV = m_program->uniformLocation("tex_v");
    m_offsetLocation = m_program->uniformLocation("yuv_offset");
    m_scaleLocation = m_program->uniformLocation("yuv_scale");

    m_textureY = new QOpenGLTexture(QOpenGLTexture::Target2D);
    m_textureU = new QOpenGLTexture(QOpenGLTexture::Target2D);
    m_textureV = new QOpenGLTexture(QOpenGLTexture::Target2D);
    m_textureY->create();
    m_textureU->create();
    m_textureV->create();
    m_idY = m_textureY->textureId();
    m_idU = m_textureU->textureId();
    m_idV = m_textureV->textureId();

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

void KvCameraRenderWidget::paintGL()
{
    QMutexLocker locker(&m_lock);
    // The framework does not always clear between paints; a stale depth value
    // would make the depth test drop the quad, a stale picture would outlive a
    // dropped frame.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    m_everPainted = true;
    if (!m_frame || m_width <= 0 || m_height <= 0 || !m_textureY || !m_program->isLinked())
        return;
    if (m_shownSerial != m_serial) {
        m_shownSerial = m_serial;
        ++m_shown;
    }

    const GLenum format = m_redTextures ? GL_RED : GL_LUMINANCE;
    const quint32 w = quint32(m_width);
    const quint32 h = quint32(m_height);
    struct Plane
    {
        GLenum unit;
        GLuint id;
        quint32 width;
        quint32 height;
        quint32 offset;
    };
    const Plane planes[3] = {{GL_TEXTURE0, m_idY, w, h, 0},
                             {GL_TEXTURE1, m_idU, w / 2, h / 2, w * h},
                             {GL_TEXTURE2, m_idV, w / 2, h / 2, (w * h * 5) / 4}};

    // Rows are tightly packed: with the default alignment of 4, planes whose
    // row length is not a multiple of 4 (a 1366 wide frame's chroma) skew.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (const Plane &p : planes) {
        glActiveTexture(p.unit);
        glBindTexture(GL_TEXTURE_2D, p.id);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), GLsizei(p.width), GLsizei(p.height), 0,
                     format, GL_UNSIGNED_BYTE, m_frame + p.offset);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);

    glUniform1i(m_samplerY, 0);
    glUniform1i(m_samplerU, 1);
    glUniform1i(m_samplerV, 2);
    // Limited range: Y 16..235, Cb and Cr 16..240 around 128. Full range: all
    // 256 levels, Cb and Cr around 128.
    const GLfloat chromaCentre = 128.0f / 255.0f;
    if (m_fullRange) {
        glUniform3f(m_offsetLocation, 0.0f, chromaCentre, chromaCentre);
        glUniform3f(m_scaleLocation, 1.0f, 1.0f, 1.0f);
    } else {
        glUniform3f(m_offsetLocation, 16.0f / 255.0f, chromaCentre, chromaCentre);
        glUniform3f(m_scaleLocation, 255.0f / 219.0f, 255.0f / 224.0f, 255.0f / 224.0f);
    }
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
}

void KvCameraRenderWidget::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
}

void KvCameraRenderWidget::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
}

void KvCameraRenderWidget::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
}
