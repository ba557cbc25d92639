<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AtomicFile</name>
    <message>
        <source>%1 不是普通文件（可能是管道、设备或文件夹），没有写入。</source>
        <translation>%1 is not a regular file (it may be a pipe, a device or a folder); nothing was written.</translation>
    </message>
    <message>
        <source>%1 是一个链接，指向所在文件夹之外的文件:
%2
为了不改动别处的文件，没有写入。</source>
        <translation>%1 is a link to a file outside its folder:
%2
Nothing was written, so that no file elsewhere is changed.</translation>
    </message>
    <message>
        <source>无法在文件夹 %1 中新建文件（文件夹不存在或不可写），%2 没有改动。</source>
        <translation>No new file can be made in the folder %1 (it does not exist or is read-only); %2 was not changed.</translation>
    </message>
    <message>
        <source>写入 %1 失败（磁盘可能已满），原来的文件没有改动。</source>
        <translation>Writing %1 failed (the disk may be full); the old file was not changed.</translation>
    </message>
</context>
<context>
    <name>ClassPanel</name>
    <message>
        <source>类别</source>
        <translation>Classes</translation>
    </message>
    <message>
        <source>键</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>像素</source>
        <translation>Pixels</translation>
    </message>
    <message>
        <source>添加…</source>
        <translation>Add…</translation>
    </message>
    <message>
        <source>重命名…</source>
        <translation>Rename…</translation>
    </message>
    <message>
        <source>颜色…</source>
        <translation>Colour…</translation>
    </message>
    <message>
        <source>保护其他类别</source>
        <translation>Protect other classes</translation>
    </message>
    <message>
        <source>画笔、套索和区域命令只改变背景和当前类别的像素</source>
        <translation>The brush, the lassos and the region commands change only background and current-class pixels</translation>
    </message>
    <message>
        <source>单击选择当前类别或对象；勾选框显示或隐藏它</source>
        <translation>Click to choose the current class or object; the check box shows or hides it</translation>
    </message>
    <message>
        <source>删除对象</source>
        <translation>Delete object</translation>
    </message>
    <message>
        <source>把选中的对象从掩膜中删除（可撤销）</source>
        <translation>Delete the chosen object from the mask (can be undone)</translation>
    </message>
    <message>
        <source>对象 %1</source>
        <translation>Object %1</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>%1 后面缺少值</source>
        <translation>%1 needs a value</translation>
    </message>
    <message>
        <source>未知选项: %1</source>
        <translation>Unknown option: %1</translation>
    </message>
    <message>
        <source>多余的参数: %1</source>
        <translation>Unexpected argument: %1</translation>
    </message>
    <message>
        <source>缺少文件夹</source>
        <translation>No folder given</translation>
    </message>
    <message>
        <source>不是文件夹: %1</source>
        <translation>Not a folder: %1</translation>
    </message>
    <message>
        <source>--format 应为 coco、yolo 或 voc</source>
        <translation>--format must be coco, yolo or voc</translation>
    </message>
    <message>
        <source>--format %1 需要 -o 输出文件夹</source>
        <translation>--format %1 needs -o and an output folder</translation>
    </message>
    <message>
        <source>stats 没有选项</source>
        <translation>stats takes no options</translation>
    </message>
    <message>
        <source>已处理 %1 / %2</source>
        <translation>Done %1 / %2</translation>
    </message>
    <message>
        <source>失败: %1: %2</source>
        <translation>Failed: %1: %2</translation>
    </message>
    <message>
        <source>无法创建文件夹: %1</source>
        <translation>Cannot make the folder: %1</translation>
    </message>
    <message>
        <source>已导出 %1 张图片</source>
        <translation>Exported %1 pictures</translation>
    </message>
    <message>
        <source>输出文件夹 %1 是输入文件夹或在其中，导出会写到图片和掩膜之间</source>
        <translation>The output folder %1 is the input folder or inside it; the export would write among the pictures and masks</translation>
    </message>
    <message>
        <source>输出文件 %1 是输入文件夹中的图片、掩膜、类别图、labels.txt 或复查记录</source>
        <translation>The output file %1 is a picture, mask, class map, labels.txt or review file of the input folder</translation>
    </message>
    <message>
        <source>%1 会导出到同一个文件 %2，都没有导出</source>
        <translation>%1 would be exported to the same file %2; none of them was exported</translation>
    </message>
    <message>
        <source>导出文件 %1 与类别列表同名，没有导出</source>
        <translation>The export file %1 has the name of the list of classes; not exported</translation>
    </message>
    <message>
        <source>无法写入标准输出（已关闭或磁盘已满）</source>
        <translation>cannot write to standard output (closed, or the disk is full)</translation>
    </message>
    <message>
        <source>--min-area 应为不小于 0 的整数: %1</source>
        <translation>--min-area must be a whole number of 0 or more: %1</translation>
    </message>
    <message>
        <source>--min-area 只用于 coco 和 yolo（VOC 的类别图照原样写出）</source>
        <translation>--min-area is for coco and yolo only (VOC class maps are written as painted)</translation>
    </message>
    <message>
        <source>去掉了 %1 个块（面积小于 --min-area %2 像素，或轮廓不足三个点）</source>
        <translation>Left out %1 pieces (under --min-area %2 pixels, or outlines of under three points)</translation>
    </message>
    <message>
        <source>去掉了 %1 个轮廓不足三个点的块（YOLO 的一行至少要三个点）</source>
        <translation>Left out %1 pieces whose outlines have under three points (a YOLO line needs three)</translation>
    </message>
    <message>
        <source>--format 应为 coco、yolo、voc 或 labelme</source>
        <translation>--format must be coco, yolo, voc or labelme</translation>
    </message>
    <message>
        <source>import 需要标注来源和图片文件夹</source>
        <translation>import needs the annotations&apos; source and the pictures&apos; folder</translation>
    </message>
    <message>
        <source>不是文件: %1</source>
        <translation>Not a file: %1</translation>
    </message>
    <message>
        <source>跳过: %1</source>
        <translation>Skipped: %1</translation>
    </message>
    <message>
        <source>输出 %1 是输入的视频</source>
        <translation>The output %1 is the input video</translation>
    </message>
    <message>
        <source>缺少视频</source>
        <translation>No video given</translation>
    </message>
    <message>
        <source>不是视频: %1</source>
        <translation>Not a video: %1</translation>
    </message>
    <message>
        <source>frames 需要 -o 输出文件夹</source>
        <translation>frames needs -o and an output folder</translation>
    </message>
    <message>
        <source>frames 只有 -o 和 --masked-only</source>
        <translation>frames takes only -o and --masked-only</translation>
    </message>
    <message>
        <source>无法读取视频 %1: %2</source>
        <translation>Cannot read the video %1: %2</translation>
    </message>
    <message>
        <source>无法创建输出文件夹 %1</source>
        <translation>Cannot make the output folder %1</translation>
    </message>
    <message>
        <source>失败: %1: 无法解码</source>
        <translation>Failed: %1: cannot be decoded</translation>
    </message>
    <message>
        <source>失败: %1</source>
        <translation>Failed: %1</translation>
    </message>
    <message>
        <source>已写出 %1 帧到 %2</source>
        <translation>Wrote %1 frames to %2</translation>
    </message>
    <message>
        <source>用法:
  velmora export --format coco FOLDER [-o FILE] [--min-area N]
  velmora export --format yolo FOLDER -o FOLDER [--min-area N]
  velmora export --format voc FOLDER -o FOLDER
  velmora stats FOLDER
  velmora import --format coco|yolo|voc|labelme SOURCE FOLDER [--replace]
  velmora frames VIDEO -o FOLDER [--masked-only]

export 把文件夹中图片的掩膜导出给训练代码：
  coco  COCO 实例 JSON（每个对象、以及不属于对象的每个 8 连通块一个标注，
        segmentation 为压缩 RLE），
        默认写到标准输出
  yolo  每张图片一个 .txt，每块一行：类别序号和外轮廓的归一化坐标，
        另有 classes.txt
  voc   每张图片一个类别 PNG（调色板，像素值为类别编号），另有 labelmap.txt；
        有对象的图片另在 SegmentationObject/ 中写对象 PNG（编号 1..n，最多 255）
  --min-area N  去掉面积小于 N 像素的块（默认 0：都保留）；
        YOLO 不写不足三个点的轮廓
stats 在标准输出写 CSV：图片、宽、高、掩膜像素、占比、块数、类别、各类别的对象数。
export 和 stats 也接受视频（.mp4 .mkv .mov .avi .webm）代替文件夹：
  它的帧和 NAME_masks/ 中的掩膜，帧名为 000001.png …
frames 把视频的帧写成 FOLDER 中的 000001.png …；--masked-only 只写有掩膜的帧。
import 把其他工具的标注（COCO 的 JSON 文件；YOLO、VOC、labelme 的文件夹）
  写成文件夹中图片旁的掩膜和类别图，类别合并进 labels.txt；
  已有掩膜的图片不动，--replace 时先把旧文件备份到 .velmora-import-backup/。
类别来自文件夹的 labels.txt；没有时只有一个类别 &quot;mask&quot;。
退出状态：0 全部成功，1 有图片失败（逐一列出），2 用法错误。
</source>
        <translation>Usage:
  velmora export --format coco FOLDER [-o FILE] [--min-area N]
  velmora export --format yolo FOLDER -o FOLDER [--min-area N]
  velmora export --format voc FOLDER -o FOLDER
  velmora stats FOLDER
  velmora import --format coco|yolo|voc|labelme SOURCE FOLDER [--replace]
  velmora frames VIDEO -o FOLDER [--masked-only]

export hands the masks of a folder&apos;s pictures to training code:
  coco  COCO instance JSON (one annotation per object, and per 8-connected piece
        of no object, its segmentation as compressed RLE), on standard output
        unless -o names a file
  yolo  a .txt per picture, a line per piece: the class index and the outer
        outline&apos;s normalised coordinates; and classes.txt
  voc   a class PNG per picture (palette; pixel values are class numbers), and
        labelmap.txt; a picture with objects also gets an object PNG in
        SegmentationObject/ (numbered 1..n, 255 at most)
  --min-area N  leave out pieces under N pixels (default 0: keep all);
        YOLO never writes an outline of under three points
stats writes CSV on standard output: picture, width, height, mask pixels, share,
pieces, classes, objects of each class.
export and stats also take a video (.mp4 .mkv .mov .avi .webm) for a folder:
  its frames and the masks in NAME_masks/, the frames named 000001.png ...
frames writes the video&apos;s frames into FOLDER as 000001.png ...; --masked-only
  writes only the frames with a mask.
import turns other tools&apos; annotations (a COCO JSON file; YOLO, VOC or labelme
  folders) into masks and class maps beside the folder&apos;s pictures, its classes
  merged into labels.txt; pictures with a mask are left alone, and with --replace
  their old files are first kept in .velmora-import-backup/.
Classes come from the folder&apos;s labels.txt; without it there is one class, &quot;mask&quot;.
Exit status: 0 all went well, 1 some pictures failed (each named), 2 wrong usage.
</translation>
    </message>
    <message>
        <source>超过 255 个对象，VOC 的对象图放不下，没有导出</source>
        <translation>more than 255 objects, which a VOC object PNG cannot hold; not exported</translation>
    </message>
</context>
<context>
    <name>FillBetween</name>
    <message>
        <source>内存不足</source>
        <translation>Out of memory</translation>
    </message>
    <message>
        <source>%1 到 %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1：两张关键帧的尺寸不同</source>
        <translation>%1: the two keyframes differ in size</translation>
    </message>
    <message>
        <source>%1：%2 无法读取，或尺寸与关键帧不同</source>
        <translation>%1: %2 cannot be read, or its size differs from the keyframes&apos;</translation>
    </message>
    <message>
        <source>%1：内存不足</source>
        <translation>%1: out of memory</translation>
    </message>
    <message>
        <source>%1 已有掩膜文件，没有改动</source>
        <translation>%1 already has a mask file and was left as it is</translation>
    </message>
</context>
<context>
    <name>FolderPanel</name>
    <message>
        <source>已完成 %1 / %2</source>
        <translation>Done %1 / %2</translation>
    </message>
    <message>
        <source>类别图与掩膜不一致</source>
        <translation>class map and mask disagree</translation>
    </message>
    <message>
        <source>类别：%1</source>
        <translation>Class: %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>只看需复查</source>
        <translation>Flagged only</translation>
    </message>
    <message>
        <source>只列出标记为需复查的图片（F 标记，R 标记为已复查）</source>
        <translation>List only the pictures flagged for review (F flags, R marks reviewed)</translation>
    </message>
</context>
<context>
    <name>Frames</name>
    <message>
        <source>%1 帧 %2</source>
        <translation>%1 frame %2</translation>
    </message>
</context>
<context>
    <name>HelpWindow</name>
    <message>
        <source>快捷键与手势</source>
        <translation>Keys and gestures</translation>
    </message>
    <message>
        <source>按键 / 手势</source>
        <translation>Keys / gesture</translation>
    </message>
    <message>
        <source>作用</source>
        <translation>What it does</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>左键拖动（涂鸦 / 橡皮擦）</source>
        <translation>Left drag (Doodle / Eraser)</translation>
    </message>
    <message>
        <source>笔画</source>
        <translation>Stroke</translation>
    </message>
    <message>
        <source>涂抹或擦除；单击画一个圆点</source>
        <translation>Paint or erase; a click makes a round dab</translation>
    </message>
    <message>
        <source>Shift+拖动（涂鸦 / 橡皮擦）</source>
        <translation>Shift+drag (Doodle / Eraser)</translation>
    </message>
    <message>
        <source>套索</source>
        <translation>Lasso</translation>
    </message>
    <message>
        <source>松开时填充（涂鸦）或清除（橡皮擦）轮廓内部；Esc 取消</source>
        <translation>On release, fill (Doodle) or clear (Eraser) the inside of the outline; Esc cancels</translation>
    </message>
    <message>
        <source>按住空格（涂鸦 / 橡皮擦）</source>
        <translation>Hold Space (Doodle / Eraser)</translation>
    </message>
    <message>
        <source>抓手</source>
        <translation>Hand</translation>
    </message>
    <message>
        <source>拖动平移，松开后回到原工具</source>
        <translation>Drag to pan; the tool comes back on release</translation>
    </message>
    <message>
        <source>左键拖动（移动）</source>
        <translation>Left drag (Move)</translation>
    </message>
    <message>
        <source>平移</source>
        <translation>Pan</translation>
    </message>
    <message>
        <source>平移视图</source>
        <translation>Pan the view</translation>
    </message>
    <message>
        <source>右键单击</source>
        <translation>Right click</translation>
    </message>
    <message>
        <source>切换工具</source>
        <translation>Switch tool</translation>
    </message>
    <message>
        <source>在移动和涂鸦之间切换；在橡皮擦中回到之前的模式</source>
        <translation>Toggle Move and Doodle; in the Eraser, go back to the mode it came from</translation>
    </message>
    <message>
        <source>右键双击</source>
        <translation>Right double-click</translation>
    </message>
    <message>
        <source>橡皮擦</source>
        <translation>Eraser</translation>
    </message>
    <message>
        <source>切换到橡皮擦</source>
        <translation>Switch to the Eraser</translation>
    </message>
    <message>
        <source>滚轮</source>
        <translation>Wheel</translation>
    </message>
    <message>
        <source>缩放</source>
        <translation>Zoom</translation>
    </message>
    <message>
        <source>以指针为中心缩放</source>
        <translation>Zoom around the pointer</translation>
    </message>
    <message>
        <source>拖放图片到窗口</source>
        <translation>Drop a picture on the window</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>打开该图片</source>
        <translation>Open that picture</translation>
    </message>
    <message>
        <source>菜单 %1</source>
        <translation>%1 menu</translation>
    </message>
    <message>
        <source>命令</source>
        <translation>Command</translation>
    </message>
    <message>
        <source>贴边套索</source>
        <translation>Snapping lasso</translation>
    </message>
    <message>
        <source>魔棒</source>
        <translation>Colour wand</translation>
    </message>
    <message>
        <source>Ctrl+Shift+拖动（涂鸦 / 橡皮擦 / 移动）</source>
        <translation>Ctrl+Shift+drag (Doodle / Eraser / Move)</translation>
    </message>
    <message>
        <source>松开时把轮廓围住的对象贴着边缘填充（涂鸦、移动）或清除（橡皮擦）；找不到对象时按普通套索；Esc 取消</source>
        <translation>On release, fill (Doodle, Move) or clear (Eraser) the object the outline goes around, snapped to its edges; the plain outline when no object is found; Esc cancels</translation>
    </message>
    <message>
        <source>Ctrl+单击（涂鸦 / 橡皮擦 / 移动）</source>
        <translation>Ctrl+click (Doodle / Eraser / Move)</translation>
    </message>
    <message>
        <source>加入（涂鸦、移动）或去掉（橡皮擦）与单击处颜色相近的相连区域；按住向右拖动增大容差（每 4 像素加 1），向左减小；Esc 取消</source>
        <translation>Add (Doodle, Move) or remove (Eraser) the connected region of colours close to the clicked one; drag right for a larger tolerance (one more every 4 pixels), left for a smaller one; Esc cancels</translation>
    </message>
    <message>
        <source>Alt+单击</source>
        <translation>Alt+click</translation>
    </message>
    <message>
        <source>选取对象</source>
        <translation>Pick object</translation>
    </message>
    <message>
        <source>选取指针下的对象作为当前对象，它的类别成为当前类别；没有对象处取消当前对象</source>
        <translation>Make the object under the pointer the current object, and its class the current class; where there is no object, no object is current</translation>
    </message>
</context>
<context>
    <name>Importer</name>
    <message>
        <source>无法读取 %1</source>
        <translation>Cannot read %1</translation>
    </message>
    <message>
        <source>%1 不是可以读取的 JSON: %2</source>
        <translation>%1 is not JSON that can be read: %2</translation>
    </message>
    <message>
        <source>标注 %1: 类别 %2 不在 categories 中</source>
        <translation>annotation %1: category %2 is not among the categories</translation>
    </message>
    <message>
        <source>RLE 的尺寸 %1×%2 与图片不符</source>
        <translation>the RLE&apos;s size %1×%2 differs from the picture&apos;s</translation>
    </message>
    <message>
        <source>第 %1 行不是类别加至少三个点的多边形</source>
        <translation>line %1 is not a class and a polygon of three points or more</translation>
    </message>
    <message>
        <source>类别图的尺寸与图片不符</source>
        <translation>the class map&apos;s size differs from the picture&apos;s</translation>
    </message>
    <message>
        <source>不是调色板或灰度 PNG，读不出类别编号</source>
        <translation>not a palette or grey PNG: no class numbers to read</translation>
    </message>
    <message>
        <source>类别编号 %1 超出类别列表</source>
        <translation>class number %1 is beyond the list of classes</translation>
    </message>
    <message>
        <source>%1: 不是 labelme 的标注文件</source>
        <translation>%1: not a labelme annotation file</translation>
    </message>
    <message>
        <source>mask 形状的图片无法解码</source>
        <translation>the picture of a mask shape cannot be decoded</translation>
    </message>
    <message>
        <source>无法创建备份文件夹 %1</source>
        <translation>Cannot make the backup folder %1</translation>
    </message>
    <message>
        <source>无法读取 %1，没有替换</source>
        <translation>cannot read %1; not replaced</translation>
    </message>
    <message>
        <source>有多张同名图片 (%1)，不知道是哪一张</source>
        <translation>several pictures have this name (%1): which one is meant is unknown</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>文件夹中没有这张图片</source>
        <translation>no such picture in the folder</translation>
    </message>
    <message>
        <source>无法读取图片 %1</source>
        <translation>cannot read the picture %1</translation>
    </message>
    <message>
        <source>标注的尺寸 %1×%2 与图片 %3×%4 不符，没有拉伸</source>
        <translation>the annotation&apos;s size %1×%2 differs from the picture&apos;s %3×%4; nothing was stretched</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>无法删除旧的类别图 %1</source>
        <translation>cannot remove the old class map %1</translation>
    </message>
    <message>
        <source>合并后有 %1 个类别，最多 255 个</source>
        <translation>merged, there would be %1 classes; 255 at most</translation>
    </message>
    <message>
        <source>%1 不是 UTF-8 文本，无法加入新类别</source>
        <translation>%1 is not UTF-8 text: no new class can be added to it</translation>
    </message>
    <message>
        <source>已取消</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>图片有 %1 × %2 像素，需要的内存超过可用内存的四分之一</source>
        <translation>the picture has %1 × %2 pixels: it needs more than a quarter of the memory available</translation>
    </message>
    <message>
        <source>新类别已加到 labels.txt 末尾: %1</source>
        <translation>New classes added at the end of labels.txt: %1</translation>
    </message>
    <message>
        <source>后面的标注画在前面的标注上: %1 个像素</source>
        <translation>Later annotations painted over earlier ones: %1 pixels</translation>
    </message>
    <message>
        <source>VOC 的边界 (255) 作为背景: %1 个像素</source>
        <translation>VOC&apos;s border (255) made background: %1 pixels</translation>
    </message>
    <message>
        <source>跳过只有框的 YOLO 行: %1 行</source>
        <translation>YOLO lines of a box alone skipped: %1</translation>
    </message>
    <message>
        <source>跳过不是区域的 labelme 形状（线、点）: %1 个</source>
        <translation>labelme shapes without an area (lines, points) skipped: %1</translation>
    </message>
    <message>
        <source>被替换的文件保存在 %1</source>
        <translation>The replaced files are kept in %1</translation>
    </message>
    <message>
        <source>已导入 %1 张图片</source>
        <translation>Imported %1 pictures</translation>
    </message>
    <message>
        <source>%1 已有掩膜文件或类别图，没有覆盖（--replace 可替换）</source>
        <translation>%1 has a mask file or a class map; not overwritten (--replace replaces them)</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>选择图片</source>
        <translation>Choose a picture</translation>
    </message>
    <message>
        <source>选择文件夹</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>文件夹中没有图片: %1</source>
        <translation>No pictures in the folder: %1</translation>
    </message>
    <message>
        <source>已加载: %1</source>
        <translation>Loaded: %1</translation>
    </message>
    <message>
        <source>无法加载: %1</source>
        <translation>Cannot load: %1</translation>
    </message>
    <message>
        <source>打开图片</source>
        <translation>Open…</translation>
    </message>
    <message>
        <source>保存掩膜</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>1:1显示</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>恢复原图大小</source>
        <translation>Show the picture at its own size</translation>
    </message>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>重置</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source> 涂鸦笔刷: </source>
        <translation> Brush: </translation>
    </message>
    <message>
        <source> 橡皮擦笔刷: </source>
        <translation> Eraser: </translation>
    </message>
    <message>
        <source> 透明度: </source>
        <translation> Opacity: </translation>
    </message>
    <message>
        <source>移动</source>
        <translation>Move</translation>
    </message>
    <message>
        <source>涂鸦</source>
        <translation>Doodle</translation>
    </message>
    <message>
        <source>橡皮擦</source>
        <translation>Eraser</translation>
    </message>
    <message>
        <source>请打开图片</source>
        <translation>Please open a picture</translation>
    </message>
    <message>
        <source>当前模式：移动 (右键单击切换涂鸦 / 双击切换橡皮擦)</source>
        <translation>Mode: Move (right click for Doodle / double-click for Eraser)</translation>
    </message>
    <message>
        <source>当前模式：涂鸦 (右键单击切换移动 / 双击切换橡皮擦)</source>
        <translation>Mode: Doodle (right click for Move / double-click for Eraser)</translation>
    </message>
    <message>
        <source>当前模式：橡皮擦 (右键单击切换回之前模式)</source>
        <translation>Mode: Eraser (right click to go back to the previous mode)</translation>
    </message>
    <message>
        <source>内存不足，部分笔画未绘制</source>
        <translation>Out of memory: part of the stroke was not painted</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>打开文件夹</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>掩膜另存为…</source>
        <translation>Save mask as…</translation>
    </message>
    <message>
        <source>上一张</source>
        <translation>Previous picture</translation>
    </message>
    <message>
        <source>上一张 (A, Page Up)</source>
        <translation>Previous picture (A, Page Up)</translation>
    </message>
    <message>
        <source>下一张</source>
        <translation>Next picture</translation>
    </message>
    <message>
        <source>下一张 (D, Page Down)</source>
        <translation>Next picture (D, Page Down)</translation>
    </message>
    <message>
        <source>自动保存</source>
        <translation>Auto-save</translation>
    </message>
    <message>
        <source>保存后显示文件</source>
        <translation>Show the file after saving</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>编辑</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>重做</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>视图</source>
        <translation>View</translation>
    </message>
    <message>
        <source>适应窗口</source>
        <translation>Fit to window</translation>
    </message>
    <message>
        <source>放大</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>缩小</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>隐藏掩膜</source>
        <translation>Hide mask</translation>
    </message>
    <message>
        <source>掩膜颜色…</source>
        <translation>Mask colour…</translation>
    </message>
    <message>
        <source>按保存结果显示</source>
        <translation>Show as saved</translation>
    </message>
    <message>
        <source>红</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>绿</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>蓝</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>黄</source>
        <translation>Yellow</translation>
    </message>
    <message>
        <source>青</source>
        <translation>Cyan</translation>
    </message>
    <message>
        <source>品红</source>
        <translation>Magenta</translation>
    </message>
    <message>
        <source>自定义…</source>
        <translation>Custom…</translation>
    </message>
    <message>
        <source>掩膜颜色</source>
        <translation>Mask colour</translation>
    </message>
    <message>
        <source>颜色:</source>
        <translation>Colour:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>工具</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>增大笔刷</source>
        <translation>Larger brush</translation>
    </message>
    <message>
        <source>减小笔刷</source>
        <translation>Smaller brush</translation>
    </message>
    <message>
        <source>图片列表</source>
        <translation>Picture list</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>快捷键与手势</source>
        <translation>Keys and gestures</translation>
    </message>
    <message>
        <source>关于 Velmora</source>
        <translation>About Velmora</translation>
    </message>
    <message>
        <source>Velmora %1
在图片上绘制二值掩膜。

基于 Qt %2（LGPL v3）。</source>
        <translation>Velmora %1
Paint binary masks over pictures.

Built on Qt %2 (LGPL v3).</translation>
    </message>
    <message>
        <source>掩膜文件已被其他程序修改，保存时会先询问: %1</source>
        <translation>The mask file was changed by another program; saving will ask first: %1</translation>
    </message>
    <message>
        <source>掩膜文件已被其他程序修改，已重新载入: %1</source>
        <translation>The mask file was changed by another program and has been reloaded: %1</translation>
    </message>
    <message>
        <source>恢复未保存的掩膜</source>
        <translation>Recover unsaved mask</translation>
    </message>
    <message>
        <source>%1 有未保存的修改（%2），是否恢复？</source>
        <translation>%1 has unsaved changes (%2). Recover them?</translation>
    </message>
    <message>
        <source>恢复</source>
        <translation>Recover</translation>
    </message>
    <message>
        <source>丢弃</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>无法恢复: %1</source>
        <translation>Cannot recover: %1</translation>
    </message>
    <message>
        <source>保存更改</source>
        <translation>Save changes</translation>
    </message>
    <message>
        <source>当前掩膜有未保存的修改，是否保存？</source>
        <translation>The mask has unsaved changes. Save them?</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>不保存</source>
        <translation>Don&apos;t save</translation>
    </message>
    <message>
        <source>已保存: %1</source>
        <translation>Saved: %1</translation>
    </message>
    <message>
        <source>已删除旧掩膜: %1</source>
        <translation>Old mask removed: %1</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>请先打开一张图片！</source>
        <translation>Please open a picture first.</translation>
    </message>
    <message>
        <source>确认保存</source>
        <translation>Confirm save</translation>
    </message>
    <message>
        <source>确定要将掩膜保存为文件吗？</source>
        <translation>Save the mask to a file?</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>掩膜已保存至:
%1</source>
        <translation>The mask was saved to:
%1</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>掩膜为空，未找到对应的掩膜文件，无需操作。</source>
        <translation>The mask is empty and there is no mask file: nothing to do.</translation>
    </message>
    <message>
        <source>掩膜为空，已删除旧的掩膜文件:
%1</source>
        <translation>The mask is empty; the old mask file was removed:
%1</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>掩膜为空，但删除旧文件失败，请检查权限:
%1</source>
        <translation>The mask is empty, but the old file could not be removed. Please check the permissions:
%1</translation>
    </message>
    <message>
        <source>保存失败，请检查权限！</source>
        <translation>Saving failed. Please check the permissions.</translation>
    </message>
    <message>
        <source>掩膜另存为</source>
        <translation>Save mask as</translation>
    </message>
    <message>
        <source>打开一张图片；已保存的掩膜会一起显示</source>
        <translation>Open a picture; its saved mask, if any, is shown over it</translation>
    </message>
    <message>
        <source>把掩膜保存在图片旁边（空掩膜会删除旧的掩膜文件）</source>
        <translation>Save the mask beside the picture (an empty mask removes an old mask file)</translation>
    </message>
    <message>
        <source>每个图片像素对应一个屏幕像素</source>
        <translation>One picture pixel per screen pixel</translation>
    </message>
    <message>
        <source>撤销上一笔或上一次清空（最多 21 步）</source>
        <translation>Undo the last stroke or clear (up to 21 steps)</translation>
    </message>
    <message>
        <source>清空整个掩膜（先询问，可撤销）</source>
        <translation>Clear the whole mask (asks first; can be undone)</translation>
    </message>
    <message>
        <source>打开文件夹中第一张没有掩膜的图片（都有掩膜时打开第一张）</source>
        <translation>Open a folder&apos;s first picture without a mask (or its first picture when all have one)</translation>
    </message>
    <message>
        <source>把掩膜写到任选的文件（PNG，后缀为 JPEG 或 BMP 时按后缀）；图片旁的掩膜仍算未保存</source>
        <translation>Write the mask to a file of your choice (PNG unless the suffix says JPEG or BMP); the picture&apos;s own mask stays unsaved</translation>
    </message>
    <message>
        <source>文件夹中的上一张图片，按自然顺序（img2 在 img10 之前）</source>
        <translation>The folder&apos;s previous picture, in natural order (img2 before img10)</translation>
    </message>
    <message>
        <source>文件夹中的下一张图片，按自然顺序</source>
        <translation>The folder&apos;s next picture, in natural order</translation>
    </message>
    <message>
        <source>开启时，离开已修改的图片会直接保存掩膜而不询问</source>
        <translation>When on, leaving a changed picture saves its mask instead of asking</translation>
    </message>
    <message>
        <source>开启时（默认），保存掩膜成功后在文件管理器中显示掩膜文件</source>
        <translation>When on (the default), a successful save shows the mask file in the file browser</translation>
    </message>
    <message>
        <source>关闭编辑器（有未保存的修改时先询问）</source>
        <translation>Close the editor (asks first about unsaved changes)</translation>
    </message>
    <message>
        <source>重做撤销的步骤；新的一笔或清空会丢弃它们</source>
        <translation>Redo what was undone; a new stroke or clear drops it</translation>
    </message>
    <message>
        <source>缩放图片以适应窗口</source>
        <translation>Fit the picture in the window</translation>
    </message>
    <message>
        <source>以视图中心放大</source>
        <translation>Zoom in about the middle of the view</translation>
    </message>
    <message>
        <source>以视图中心缩小</source>
        <translation>Zoom out about the middle of the view</translation>
    </message>
    <message>
        <source>隐藏掩膜以查看图片；涂抹时会重新显示</source>
        <translation>Hide the mask to see the picture; painting shows it again</translation>
    </message>
    <message>
        <source>界面语言：跟随系统、中文或 English；重新启动后生效</source>
        <translation>The interface&apos;s language: the system&apos;s, Chinese or English; takes effect at the next start</translation>
    </message>
    <message>
        <source>以红、绿、蓝、黄、青、品红或自定义颜色显示掩膜；保存的文件不变</source>
        <translation>Show the mask in red, green, blue, yellow, cyan, magenta or a colour of your own; the saved file stays the same</translation>
    </message>
    <message>
        <source>完全按保存的结果显示掩膜：文件中为 255 的像素以完整颜色显示，没有淡边</source>
        <translation>Show the mask exactly as a save writes it: every pixel the file holds as 255 at full colour, no faint rims</translation>
    </message>
    <message>
        <source>拖动平移视图</source>
        <translation>Drag to pan the view</translation>
    </message>
    <message>
        <source>涂抹掩膜；单击画一个圆点</source>
        <translation>Paint the mask; a click paints a round dab</translation>
    </message>
    <message>
        <source>擦除掩膜；单击擦一个圆点</source>
        <translation>Erase the mask; a click erases a round dab</translation>
    </message>
    <message>
        <source>当前工具的大小增大约五分之一（1 到 120；移动模式下为涂鸦笔刷）</source>
        <translation>The current tool&apos;s size up by about a fifth (1 to 120; the brush in Move mode)</translation>
    </message>
    <message>
        <source>当前工具的大小减小约五分之一（1 到 120；移动模式下为涂鸦笔刷）</source>
        <translation>The current tool&apos;s size down by about a fifth (1 to 120; the brush in Move mode)</translation>
    </message>
    <message>
        <source>文件夹中的图片，有掩膜的带绿色标记，并显示已完成的数目；单击一行打开</source>
        <translation>The folder&apos;s pictures, a green mark on those with a mask, and how many are done; click a row to open it</translation>
    </message>
    <message>
        <source>在窗口中列出每个按键与手势</source>
        <translation>Every key and gesture in a window</translation>
    </message>
    <message>
        <source>版本、Qt 版本与许可</source>
        <translation>The version, the Qt version and the licence</translation>
    </message>
    <message>
        <source>Shift+拖动: 套索填充
Ctrl+Shift+拖动: 贴边套索
Ctrl+单击: 魔棒（拖动改变容差）</source>
        <translation>Shift+drag: lasso fill
Ctrl+Shift+drag: edge-snapping lasso
Ctrl+click: colour wand (drag to change the tolerance)</translation>
    </message>
    <message>
        <source>掩膜</source>
        <translation>Mask</translation>
    </message>
    <message>
        <source>扩大…</source>
        <translation>Grow…</translation>
    </message>
    <message>
        <source>掩膜向外扩大若干像素（到掩膜像素中心的距离不超过该值的像素加入）</source>
        <translation>Grow the mask by a number of pixels (every pixel whose centre is that close to a mask pixel joins)</translation>
    </message>
    <message>
        <source>收缩…</source>
        <translation>Shrink…</translation>
    </message>
    <message>
        <source>掩膜向内收缩若干像素；图片边缘不算掩膜的边缘</source>
        <translation>Shrink the mask by a number of pixels; the picture&apos;s edge is not an edge of the mask</translation>
    </message>
    <message>
        <source>反选</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>掩膜内外互换</source>
        <translation>Swap the inside and the outside of the mask</translation>
    </message>
    <message>
        <source>填充空洞</source>
        <translation>Fill holes</translation>
    </message>
    <message>
        <source>不接触图片边缘的未选区域全部并入掩膜</source>
        <translation>Every unmasked region that does not touch the picture&apos;s edge joins the mask</translation>
    </message>
    <message>
        <source>清理小块…</source>
        <translation>Clean up specks…</translation>
    </message>
    <message>
        <source>去掉小于若干像素的掩膜碎块，再填上小于若干像素的空洞</source>
        <translation>Remove mask specks smaller than a number of pixels, then fill holes smaller than it</translation>
    </message>
    <message>
        <source>清理小块</source>
        <translation>Clean up specks</translation>
    </message>
    <message>
        <source>小于多少像素的碎块和空洞:</source>
        <translation>Specks and holes smaller than (pixels):</translation>
    </message>
    <message>
        <source>扩大掩膜</source>
        <translation>Grow mask</translation>
    </message>
    <message>
        <source>收缩掩膜</source>
        <translation>Shrink mask</translation>
    </message>
    <message>
        <source>像素 (1–200):</source>
        <translation>Pixels (1–200):</translation>
    </message>
    <message>
        <source>魔棒容差</source>
        <translation>Wand tolerance</translation>
    </message>
    <message>
        <source>Ctrl+单击: 魔棒；按住拖动可临时改变容差</source>
        <translation>Ctrl+click: colour wand; drag while the button is down to change the tolerance for that click</translation>
    </message>
    <message>
        <source>选区</source>
        <translation>Selection</translation>
    </message>
    <message>
        <source>魔棒容差（0–255，默认 32）</source>
        <translation>The colour wand&apos;s tolerance (0–255, 32 by default)</translation>
    </message>
    <message>
        <source>Ctrl+Shift+拖动: 贴边套索</source>
        <translation>Ctrl+Shift+drag: edge-snapping lasso</translation>
    </message>
    <message>
        <source>Ctrl+单击: 魔棒，拖动改变容差</source>
        <translation>Ctrl+click: colour wand, drag to change the tolerance</translation>
    </message>
    <message>
        <source>正在计算选区…（Esc 取消）</source>
        <translation>Computing the region… (Esc cancels)</translation>
    </message>
    <message>
        <source>贴边套索未找到对象，已按普通套索填充</source>
        <translation>The snapping lasso found no object; the plain outline was filled</translation>
    </message>
    <message>
        <source>魔棒容差: %1</source>
        <translation>Wand tolerance: %1</translation>
    </message>
    <message>
        <source>撤销记录超出内存上限，最早的步骤已无法撤销</source>
        <translation>The undo history outgrew its memory limit: the oldest steps can no longer be undone</translation>
    </message>
    <message>
        <source>正在打开 %1…</source>
        <translation>Opening %1…</translation>
    </message>
    <message>
        <source>已取消打开: %1</source>
        <translation>Opening cancelled: %1</translation>
    </message>
    <message>
        <source>内存不足，操作没有完成，掩膜未改动</source>
        <translation>Out of memory: the command was not carried out; the mask is unchanged</translation>
    </message>
    <message>
        <source>崩溃保护不可用</source>
        <translation>No crash protection</translation>
    </message>
    <message>
        <source>未保存的修改无法复制到任何恢复文件夹，程序意外退出时会丢失。请尽快保存。</source>
        <translation>Unsaved changes cannot be copied to any recovery folder and would be lost if the program ended unexpectedly. Please save soon.</translation>
    </message>
    <message>
        <source>掩膜文件在这些修改之后被其他程序改过；恢复后保存会覆盖那些改动。</source>
        <translation>The mask file was changed by another program after these changes; saving after recovering them overwrites that change.</translation>
    </message>
    <message>
        <source>（第 %1 份，共 %2 份，较新的在前）</source>
        <translation>(copy %1 of %2, newest first)</translation>
    </message>
    <message>
        <source>Velmora: 崩溃保护不可用，%1 的未保存修改没有保留</source>
        <translation>Velmora: no crash protection; the unsaved changes of %1 were not kept</translation>
    </message>
    <message>
        <source>无法在文件夹 %1 中新建文件（文件夹不可写），掩膜文件没有改动，修改仍未保存。</source>
        <translation>No new file can be made in the folder %1 (it is not writable). The mask file was not changed, and the changes are still unsaved.</translation>
    </message>
    <message>
        <source>安静保存</source>
        <translation>Quiet save</translation>
    </message>
    <message>
        <source>开启时，保存掩膜不再询问，成功时只在状态栏和图片列表中显示（失败和文件被改动时仍会弹框）</source>
        <translation>When on, Save asks nothing and shows success only in the status bar and the picture list (failures and files changed on disk still come as boxes)</translation>
    </message>
    <message>
        <source>Ctrl+Shift+拖动: 贴边套索（加入掩膜）</source>
        <translation>Ctrl+Shift+drag: edge-snapping lasso (adds to the mask)</translation>
    </message>
    <message>
        <source>Ctrl+单击: 魔棒（加入掩膜），拖动改变容差</source>
        <translation>Ctrl+click: colour wand (adds to the mask), drag to change the tolerance</translation>
    </message>
    <message>
        <source>以后不再询问</source>
        <translation>Don&apos;t ask again</translation>
    </message>
    <message>
        <source>类别名称不能为空。</source>
        <translation>A class needs a name.</translation>
    </message>
    <message>
        <source>“%1”在 labels.txt 中有特殊含义，不能作为类别名称。</source>
        <translation>“%1” has a special meaning in labels.txt and can&apos;t be a class name.</translation>
    </message>
    <message>
        <source>已有名为“%1”的类别。</source>
        <translation>There is already a class named “%1”.</translation>
    </message>
    <message>
        <source>类别</source>
        <translation>Classes</translation>
    </message>
    <message>
        <source>文件夹的类别（labels.txt）：颜色、按键和当前图片中的像素数</source>
        <translation>The folder&apos;s classes (labels.txt): their colours, keys and pixels in the current picture</translation>
    </message>
    <message>
        <source>当前类别</source>
        <translation>Current class</translation>
    </message>
    <message>
        <source>类别 %1</source>
        <translation>Class %1</translation>
    </message>
    <message>
        <source>选择第 1–9 个类别作为当前类别</source>
        <translation>Make class 1–9 the current class</translation>
    </message>
    <message>
        <source>导出类别图…</source>
        <translation>Export class map…</translation>
    </message>
    <message>
        <source>把类别图（调色板 PNG，像素值为类别编号，0 为背景）写到任选的文件</source>
        <translation>Write the class map (a palette PNG whose pixel values are class numbers, 0 the background) to a file of your choice</translation>
    </message>
    <message>
        <source>无法读取类别列表: %1</source>
        <translation>Cannot read the class list: %1</translation>
    </message>
    <message>
        <source>类别：%1</source>
        <translation>Class: %1</translation>
    </message>
    <message>
        <source>添加类别</source>
        <translation>Add class</translation>
    </message>
    <message>
        <source>类别名称:</source>
        <translation>Class name:</translation>
    </message>
    <message>
        <source>重命名类别</source>
        <translation>Rename class</translation>
    </message>
    <message>
        <source>类别颜色：%1</source>
        <translation>Class colour: %1</translation>
    </message>
    <message>
        <source>导出类别图</source>
        <translation>Export class map</translation>
    </message>
    <message>
        <source>类别图已导出: %1</source>
        <translation>Class map exported: %1</translation>
    </message>
    <message>
        <source>已加载: %1（类别图与掩膜不一致：掩膜中没有类别的像素归入第一个类别）</source>
        <translation>Loaded: %1 (the class map and the mask disagree: mask pixels without a class went to the first class)</translation>
    </message>
    <message>
        <source>已加载: %1（类别图未能读取）</source>
        <translation>Loaded: %1 (the class map could not be read)</translation>
    </message>
    <message>
        <source>最多 %1 个类别。</source>
        <translation>At most %1 classes.</translation>
    </message>
    <message>
        <source>所有图片</source>
        <translation>All pictures</translation>
    </message>
    <message>
        <source>笔压</source>
        <translation>Pen pressure</translation>
    </message>
    <message>
        <source>数位板的笔压决定笔刷或橡皮擦的大小（最轻时十分之一，最重时完整大小）；关闭时总是完整大小。笔的橡皮擦一端总是擦除</source>
        <translation>A tablet pen&apos;s pressure sets the brush&apos;s or the eraser&apos;s size (a tenth at the lightest touch, the whole size at the firmest); when off, always the whole size. The pen&apos;s eraser end always erases</translation>
    </message>
    <message>
        <source>上一张并带入掩膜</source>
        <translation>Previous picture, carrying the mask</translation>
    </message>
    <message>
        <source>打开上一张图片，并把刚离开的图片的掩膜带入（可撤销）</source>
        <translation>Opens the previous picture and brings the mask of the picture just left onto it (can be undone)</translation>
    </message>
    <message>
        <source>下一张并带入掩膜</source>
        <translation>Next picture, carrying the mask</translation>
    </message>
    <message>
        <source>打开下一张图片，并把刚离开的图片的掩膜带入（可撤销）</source>
        <translation>Opens the next picture and brings the mask of the picture just left onto it (can be undone)</translation>
    </message>
    <message>
        <source>从上一张带入</source>
        <translation>Carry from the last picture</translation>
    </message>
    <message>
        <source>把上一张看过的图片的掩膜（尺寸相同时）加到这张图片上，作为一步可撤销</source>
        <translation>Adds the mask of the picture shown before (when it has the same size) to this picture, as one step that can be undone</translation>
    </message>
    <message>
        <source>带入后贴合</source>
        <translation>Fit carried masks</translation>
    </message>
    <message>
        <source>已从上一张带入掩膜（未贴合）</source>
        <translation>Mask carried from the last picture (not fitted)</translation>
    </message>
    <message>
        <source>已从上一张带入掩膜并贴合（%1 块）</source>
        <translation>Mask carried from the last picture and fitted (%1 pieces)</translation>
    </message>
    <message>
        <source>没有可带入的掩膜：还没有看过别的图片</source>
        <translation>No mask to carry: no other picture was shown yet</translation>
    </message>
    <message>
        <source>%1 的尺寸（%2×%3）与这张图片（%4×%5）不同，掩膜未带入</source>
        <translation>%1 is %2×%3 and this picture is %4×%5: the mask was not carried</translation>
    </message>
    <message>
        <source>内存不足，掩膜未带入</source>
        <translation>Not enough memory: the mask was not carried</translation>
    </message>
    <message>
        <source>%1 没有掩膜，没有可带入的</source>
        <translation>%1 has no mask: nothing to carry</translation>
    </message>
    <message>
        <source>标记需复查</source>
        <translation>Flag for review</translation>
    </message>
    <message>
        <source>把这张图片标记为需复查（再按一次取消）；标记存在文件夹中，同伴也能看到</source>
        <translation>Flag this picture for review (again to take the flag off); the marks are kept in the folder, where others see them too</translation>
    </message>
    <message>
        <source>标记已复查</source>
        <translation>Mark reviewed</translation>
    </message>
    <message>
        <source>把这张图片标记为已复查（再按一次取消）</source>
        <translation>Mark this picture reviewed (again to take the mark off)</translation>
    </message>
    <message>
        <source>已取消 %1 的复查标记</source>
        <translation>Review mark taken off %1</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>复查标记未保存</source>
        <translation>Review mark not saved</translation>
    </message>
    <message>
        <source>%1
不是可以读取的复查记录。为了不丢失其中的内容，标记没有保存，文件保持原样。</source>
        <translation>%1
is not a review record that can be read. So as not to lose what it holds, the mark was not saved and the file was left as it is.</translation>
    </message>
    <message>
        <source>无法写入 %1
请检查文件夹的权限。</source>
        <translation>Cannot write %1
Please check the folder&apos;s permissions.</translation>
    </message>
    <message>
        <source>总览</source>
        <translation>Overview</translation>
    </message>
    <message>
        <source>文件夹中所有图片的缩略图和掩膜；方向键和滚轮移动，回车或双击打开，F 和 R 标记复查，G 或 Esc 返回</source>
        <translation>Thumbnails of every picture of the folder with their masks; arrows and the wheel move, Enter or a double click opens, F and R set review marks, G or Esc goes back</translation>
    </message>
    <message>
        <source>总览显示文件夹中的图片：先打开一张图片或一个文件夹</source>
        <translation>The overview shows a folder&apos;s pictures: open a picture or a folder first</translation>
    </message>
    <message>
        <source>类别列表不是 UTF-8 文本，只显示不改写: %1</source>
        <translation>The list of classes is not UTF-8 text; shown, never rewritten: %1</translation>
    </message>
    <message>
        <source>%1
会超过复查记录的上限 %2，标记没有保存，文件保持原样。</source>
        <translation>%1
would grow past the review file&apos;s limit of %2; the mark was not saved and the file was left as it is.</translation>
    </message>
    <message>
        <source>导入标注</source>
        <translation>Import annotations</translation>
    </message>
    <message>
        <source>COCO（JSON 文件）</source>
        <translation>COCO (a JSON file)</translation>
    </message>
    <message>
        <source>YOLO 分割（.txt 所在文件夹）</source>
        <translation>YOLO segmentation (the folder of the .txt files)</translation>
    </message>
    <message>
        <source>VOC（SegmentationClass 所在文件夹）</source>
        <translation>VOC (the folder of SegmentationClass)</translation>
    </message>
    <message>
        <source>labelme（.json 所在文件夹）</source>
        <translation>labelme (the folder of the .json files)</translation>
    </message>
    <message>
        <source>格式:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>浏览…</source>
        <translation>Browse…</translation>
    </message>
    <message>
        <source>来源:</source>
        <translation>Source:</translation>
    </message>
    <message>
        <source>替换已有掩膜（旧文件先备份到 .velmora-import-backup/）</source>
        <translation>Replace existing masks (the old files are first kept in .velmora-import-backup/)</translation>
    </message>
    <message>
        <source>导入</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>选择 COCO 文件</source>
        <translation>Choose a COCO file</translation>
    </message>
    <message>
        <source>选择标注所在的文件夹</source>
        <translation>Choose the annotations&apos; folder</translation>
    </message>
    <message>
        <source>导入标注…</source>
        <translation>Import annotations…</translation>
    </message>
    <message>
        <source>把其他工具的标注（COCO、YOLO、VOC、labelme）导入为文件夹中图片的掩膜和类别</source>
        <translation>Turn other tools&apos; annotations (COCO, YOLO, VOC, labelme) into masks and classes of the folder&apos;s pictures</translation>
    </message>
    <message>
        <source>先打开要导入标注的图片所在的文件夹。</source>
        <translation>First open the folder of the pictures the annotations are for.</translation>
    </message>
    <message>
        <source>正在导入标注…</source>
        <translation>Importing annotations…</translation>
    </message>
    <message>
        <source>跳过 %1 项（见详细信息）。</source>
        <translation>Skipped %1 items (see the details).</translation>
    </message>
    <message>
        <source>开启时（默认），带入的每一块掩膜先随画面和对象移动，再贴合到这张图片的边缘</source>
        <translation>When on (the default), each piece of a carried mask first moves with the picture and its object, then is fitted to this picture&apos;s edges</translation>
    </message>
    <message>
        <source>已从上一张带入掩膜：%1 块中有 %2 块无法贴合，只随画面移动</source>
        <translation>Mask carried from the last picture: %2 of %1 pieces could not be fitted and were only moved with the picture</translation>
    </message>
    <message>
        <source>正在把带入的掩膜移到对象所在处并贴合…（Esc 只移动不贴合）</source>
        <translation>Moving the carried mask to where its objects went and fitting it… (Esc moves it without fitting)</translation>
    </message>
    <message>
        <source>补全中间帧</source>
        <translation>Fill frames between</translation>
    </message>
    <message>
        <source>文件夹中两张有掩膜的帧之间、还没有掩膜的帧，各得到一个掩膜：随运动移动，从一张关键帧的形状过渡到另一张的，并贴合边缘；这些帧标记为插值</source>
        <translation>Each frame of the folder without a mask between two frames with masks gets one: moved with the motion, changing from one keyframe&apos;s shape to the other&apos;s, and fitted to the edges; these frames are marked interpolated</translation>
    </message>
    <message>
        <source>先打开一个图片序列所在的文件夹。</source>
        <translation>First open the folder of a sequence of pictures.</translation>
    </message>
    <message>
        <source>没有可补全的帧：需要两张有掩膜的帧，且它们之间的帧没有掩膜</source>
        <translation>No frames to fill: this needs two frames with masks and frames without masks between them</translation>
    </message>
    <message>
        <source>正在补全 %1 帧…</source>
        <translation>Filling %1 frames…</translation>
    </message>
    <message>
        <source>已取消；取消前补全了 %1 帧，标记为插值。</source>
        <translation>Cancelled; %1 frames were filled before that and marked interpolated.</translation>
    </message>
    <message>
        <source>已补全 %1 帧，标记为插值。</source>
        <translation>Filled %1 frames and marked them interpolated.</translation>
    </message>
    <message>
        <source>%1 处没有补全（见详细信息）。</source>
        <translation>%1 left unfilled (see the details).</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>Videos</translation>
    </message>
    <message>
        <source>无法加载: %1（%2）</source>
        <translation>Cannot load: %1 (%2)</translation>
    </message>
    <message>
        <source>正在读取 %1 的帧…</source>
        <translation>Reading the frames of %1…</translation>
    </message>
    <message>
        <source>新对象</source>
        <translation>New object</translation>
    </message>
    <message>
        <source>开始当前类别的一个新对象：下一笔画、套索或魔棒点击画出它，之后的操作都加到它上面</source>
        <translation>Start a new object of the current class: the next stroke, lasso or wand click makes it, and later gestures add to it</translation>
    </message>
    <message>
        <source>对象属于类别：请先添加至少两个类别</source>
        <translation>Objects belong to classes: add at least two classes first</translation>
    </message>
    <message>
        <source>无法新建对象：内存不足或对象编号已用完</source>
        <translation>Cannot start a new object: out of memory, or no object numbers left</translation>
    </message>
    <message>
        <source>对象：%1</source>
        <translation>Object: %1</translation>
    </message>
</context>
<context>
    <name>MaskAnalysis</name>
    <message>
        <source>掩膜文件与图片尺寸不符</source>
        <translation>the mask file&apos;s size differs from the picture&apos;s</translation>
    </message>
    <message>
        <source>掩膜文件无法解码</source>
        <translation>the mask file cannot be decoded</translation>
    </message>
    <message>
        <source>内存不足，无法读取掩膜文件</source>
        <translation>not enough memory to read the mask file</translation>
    </message>
    <message>
        <source>掩膜文件不是普通文件</source>
        <translation>the mask file is not a regular file</translation>
    </message>
    <message>
        <source>掩膜文件就是图片本身</source>
        <translation>the mask file is the picture itself</translation>
    </message>
    <message>
        <source>无法读取图片</source>
        <translation>the picture cannot be read</translation>
    </message>
    <message>
        <source>类别图无法读取</source>
        <translation>the class map cannot be read</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>图片不是普通文件（可能是管道或设备），没有打开</source>
        <translation>the picture is not a regular file (it may be a pipe or a device); not opened</translation>
    </message>
    <message>
        <source>图片有 %1 × %2 像素，读取掩膜需要约 %3 内存，超过可用内存 %4 的四分之一</source>
        <translation>the picture has %1 × %2 pixels; reading its mask needs about %3 of memory, more than a quarter of the %4 available</translation>
    </message>
    <message>
        <source>对象图无法读取</source>
        <translation>the object map cannot be read</translation>
    </message>
</context>
<context>
    <name>MaskStatus</name>
    <message>
        <source>尺寸不符</source>
        <translation>other size</translation>
    </message>
    <message>
        <source>无法解码</source>
        <translation>cannot be decoded</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>out of memory</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>掩膜文件未能读取（%1）</source>
        <translation>Mask file not read (%1)</translation>
    </message>
    <message>
        <source>它就是图片本身</source>
        <translation>it is the picture itself</translation>
    </message>
</context>
<context>
    <name>Overview</name>
    <message>
        <source>图片太大，不生成缩略图</source>
        <translation>Too big for a thumbnail</translation>
    </message>
</context>
<context>
    <name>PictureSession</name>
    <message>
        <source>类别列表未改动</source>
        <translation>List of classes not changed</translation>
    </message>
    <message>
        <source>%1
不是 UTF-8 文本（或含有空字节）。改写它会丢失无法解码的类别名称，因此没有改动。请先把它另存为 UTF-8 文本。</source>
        <translation>%1
is not UTF-8 text (or holds a NUL byte). Rewriting it would lose the class names that could not be decoded, so it was not changed. Save it as UTF-8 text first.</translation>
    </message>
    <message>
        <source>类别列表已被修改</source>
        <translation>Class list changed</translation>
    </message>
    <message>
        <source>%1 在读取后被其他程序修改过，覆盖会丢失那些修改。</source>
        <translation>%1 was changed by another program after it was read; overwriting it loses that change.</translation>
    </message>
    <message>
        <source>覆盖</source>
        <translation>Overwrite</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法写入类别列表:
%1</source>
        <translation>Cannot write the list of classes:
%1</translation>
    </message>
    <message>
        <source>%1 在打开图片后被修改，加上这张图片的类别会超过 %2 个。掩膜没有保存。</source>
        <translation>%1 was changed after the picture was opened; with this picture&apos;s classes it would have more than %2. The mask was not saved.</translation>
    </message>
    <message>
        <source>%1 在打开图片后被修改，不再有类别 %2，也无法把它们加回列表。为了不让编号指向别的类别，掩膜没有保存。</source>
        <translation>%1 was changed after the picture was opened and no longer has the classes %2, and they could not be added back to it. So that no number means another class, the mask was not saved.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>%1 在打开图片后被修改，不再有类别 %2。这些类别保留原名，已加到列表末尾。</source>
        <translation>%1 was changed after the picture was opened and no longer has the classes %2. They keep their names and were added at the end of the list.</translation>
    </message>
    <message>
        <source>正在保存 %1…</source>
        <translation>Saving %1…</translation>
    </message>
    <message>
        <source>保存掩膜</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>内存不足，无法导出掩膜，掩膜文件未改动。</source>
        <translation>Out of memory: the mask could not be exported. The mask file was not changed.</translation>
    </message>
    <message>
        <source>图片已不在</source>
        <translation>Picture gone</translation>
    </message>
    <message>
        <source>%1
已被移动、重命名或删除，掩膜无法保存在它旁边。请用“掩膜另存为…”(Ctrl+Shift+S) 保存掩膜。</source>
        <translation>%1
has been moved, renamed or deleted, so the mask cannot be saved beside it. Save the mask with “Save mask as…” (Ctrl+Shift+S).</translation>
    </message>
    <message>
        <source>图片已在磁盘上更改</source>
        <translation>Picture changed on disk</translation>
    </message>
    <message>
        <source>%1
在打开后已被替换或修改，掩膜可能与它不再对应，因此没有保存在它旁边。可以用“掩膜另存为…”把掩膜保存到别处。</source>
        <translation>%1
was replaced or changed after it was opened; the mask may no longer belong to it, so it was not saved beside it. “Save mask as…” saves the mask elsewhere.</translation>
    </message>
    <message>
        <source>掩膜另存为…</source>
        <translation>Save mask as…</translation>
    </message>
    <message>
        <source>不能覆盖其他掩膜</source>
        <translation>Another mask would be overwritten</translation>
    </message>
    <message>
        <source>%1
与另一张图片的掩膜
%2
是同一个文件，保存会覆盖那个掩膜。掩膜没有保存。</source>
        <translation>%1
and the mask of another picture
%2
are one file: saving would overwrite that mask. The mask was not saved.</translation>
    </message>
    <message>
        <source>掩膜文件是一个链接</source>
        <translation>The mask file is a link</translation>
    </message>
    <message>
        <source>%1
是一个链接，指向图片文件夹之外的文件:
%2
保存会写入那个文件。</source>
        <translation>%1
is a link to a file outside the picture&apos;s folder:
%2
Saving writes that file.</translation>
    </message>
    <message>
        <source>写入</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>不能覆盖图片</source>
        <translation>A picture would be overwritten</translation>
    </message>
    <message>
        <source>%1
与图片
%2
是同一个文件，保存会用掩膜覆盖这张图片。掩膜没有保存。</source>
        <translation>%1
and the picture
%2
are one file: saving would overwrite the picture with the mask. The mask was not saved.</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>掩膜文件已被修改</source>
        <translation>Mask file changed</translation>
    </message>
    <message>
        <source>%1 在打开后被其他程序修改过，覆盖会丢失那些修改。</source>
        <translation>%1 was changed by another program after it was opened; overwriting loses those changes.</translation>
    </message>
    <message>
        <source>掩膜文件未能读取</source>
        <translation>Mask file not read</translation>
    </message>
    <message>
        <source>%1
%2，打开图片时没有显示。%3会丢失其中的内容。</source>
        <translation>%1
%2: it was not shown when the picture was opened. “%3” loses what it holds.</translation>
    </message>
    <message>
        <source>类别图已被修改</source>
        <translation>Class map changed</translation>
    </message>
    <message>
        <source>%1
未能读取，打开图片时没有显示。%2会丢失其中的内容。</source>
        <translation>%1
could not be read and was not shown when the picture opened. %2 loses what it holds.</translation>
    </message>
    <message>
        <source>%1 在打开后被其他程序修改过，%2会丢失那些修改。</source>
        <translation>%1 was changed by another program after it was opened; %2 loses that change.</translation>
    </message>
    <message>
        <source>掩膜另存为</source>
        <translation>Save mask as</translation>
    </message>
    <message>
        <source>不能覆盖掩膜</source>
        <translation>The mask would be overwritten</translation>
    </message>
    <message>
        <source>%1
是这张图片的掩膜文件。类别图没有导出。</source>
        <translation>%1
is this picture&apos;s mask file. The class map was not exported.</translation>
    </message>
    <message>
        <source>导出类别图</source>
        <translation>Export class map</translation>
    </message>
    <message>
        <source>图片太大</source>
        <translation>Picture too large</translation>
    </message>
    <message>
        <source>%1 有 %2 × %3 像素，打开需要约 %4 内存（图片和掩膜 %5，另加八分之一的余量），当前可用约 %6。</source>
        <translation>%1 has %2 × %3 pixels; opening it needs about %4 of memory (%5 for the picture and its mask, plus an eighth to spare), and about %6 is available.</translation>
    </message>
    <message>
        <source>%1 有 %2 × %3 像素，打开需要约 %4 内存。</source>
        <translation>%1 has %2 × %3 pixels; opening it needs about %4 of memory.</translation>
    </message>
    <message>
        <source>当前可用约 %1。</source>
        <translation>About %1 is available now.</translation>
    </message>
    <message>
        <source>文件只有 %1，对这样的尺寸来说太小，可能已损坏或是特意制作的。</source>
        <translation>The file holds only %1, far too little for that size: it may be damaged or made on purpose.</translation>
    </message>
    <message>
        <source>仍要打开吗？</source>
        <translation>Open it anyway?</translation>
    </message>
    <message>
        <source>打开大图片</source>
        <translation>Open a huge picture</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>对象图已被修改</source>
        <translation>Object map changed</translation>
    </message>
</context>
<context>
    <name>Review</name>
    <message>
        <source>需复查</source>
        <translation>flagged for review</translation>
    </message>
    <message>
        <source>已复查</source>
        <translation>reviewed</translation>
    </message>
    <message>
        <source>插值</source>
        <translation>interpolated</translation>
    </message>
</context>
<context>
    <name>VideoFile</name>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>无法识别为视频</source>
        <translation>not recognised as a video</translation>
    </message>
    <message>
        <source>无法读取视频的信息</source>
        <translation>the video&apos;s information cannot be read</translation>
    </message>
    <message>
        <source>没有可以解码的画面</source>
        <translation>no picture that can be decoded</translation>
    </message>
    <message>
        <source>无法回到视频的开头</source>
        <translation>cannot go back to the start of the video</translation>
    </message>
</context>
<context>
    <name>VideoFile::State</name>
    <message>
        <source>视频中没有画面</source>
        <translation>the video holds no pictures</translation>
    </message>
</context>
</TS>
